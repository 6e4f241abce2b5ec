// A program on the installed tool framework: it includes the framework's
// headers by subsystem and the host API's header, as the kit's tools do,
// and calls into libqxframework.
#include <cstdio>

#include "configuration/BuildVersion.h"
#include "configuration/Options.h"
#include "qxapi/qxapi.h"

int main() {
    QXAPI_handle const no_card = nullptr;
    char buffer[16];
    std::printf("framework: %s %s\n", Configuration::itoa(255, buffer, 16),
                no_card == nullptr ? "qxapi" : "?");
    return 0;
}
