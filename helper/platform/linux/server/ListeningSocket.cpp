#include "platform/ListeningSocket.h"

namespace obx {

void claimListeningPort(boost::asio::ip::tcp::acceptor& acceptor) {
    acceptor.set_option(boost::asio::socket_base::reuse_address(true));
}

} // namespace obx
