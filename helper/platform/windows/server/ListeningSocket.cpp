#include "platform/ListeningSocket.h"

#include <winsock2.h>

namespace obx {

void claimListeningPort(boost::asio::ip::tcp::acceptor& acceptor) {
    // Address reuse on Windows would let another program bind the same port
    // beside the server and take its connections; exclusive use forbids that.
    using ExclusiveAddressUse = boost::asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;
    acceptor.set_option(ExclusiveAddressUse(true));
}

} // namespace obx
