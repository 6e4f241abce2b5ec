// The server's side of the handshake: whether a client's first frame is a
// hello it accepts (magic, a version it speaks, the token), and otherwise
// the error frame that tells the client why not.
#ifndef SERVER_HANDSHAKE_H
#define SERVER_HANDSHAKE_H

#include "protocol/FrameDecoder.h"
#include "protocol/Messages.h"

#include <string>

namespace SimServer {

// Until the handshake is done, frames need room for a hello only.
constexpr uint32_t k_handshake_frame_size = 2 * Protocol::k_max_string_length;

// True with the client's hello; false with the refusal to send.
bool acceptHello(Protocol::Frame const& frame, std::string const& token, Protocol::Hello& hello,
                 Protocol::ErrorMessage& refusal);

}  // namespace SimServer

#endif
