#include "server/Handshake.h"

namespace SimServer {

using namespace Protocol;

namespace {

// A server without a token accepts any client. Otherwise every byte is
// compared, so the time taken does not tell how much of a guess matched.
bool tokenAccepted(std::string const& expected, std::string const& given) {
    if (expected.empty()) return true;
    unsigned char difference = expected.size() == given.size() ? 0 : 1;
    for (size_t i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ expected[i % expected.size()]);
    return difference == 0;
}

bool refuse(ErrorMessage& refusal, int code, std::string text) {
    refusal.code = code;
    refusal.text = std::move(text);
    return false;
}

}  // namespace

bool acceptHello(Frame const& frame, std::string const& token, Hello& hello, ErrorMessage& refusal) {
    std::string error;
    if (!decode(frame, hello, error)) return refuse(refusal, k_err_protocol, error);
    if (hello.magic != k_magic)
        return refuse(refusal, k_err_protocol,
                      "bad hello: wrong magic number " + std::to_string(hello.magic));
    if (hello.version < k_oldest_version || hello.version > k_version)
        return refuse(refusal, k_err_version,
                      "protocol version " + std::to_string(hello.version) +
                          " is not supported; this server speaks version " + std::to_string(k_version));
    if (!tokenAccepted(token, hello.token)) return refuse(refusal, k_err_token, "the token was refused");
    return true;
}

}  // namespace SimServer
