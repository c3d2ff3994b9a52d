#pragma once

// How a listening socket claims its port before it binds. On Linux: address
// reuse, so that a restarted server binds while connections of the previous
// one linger (no second listener can share the port there anyway). On
// Windows: exclusive use, since address reuse there would let another
// program bind the same port beside the server.

#include <boost/asio/ip/tcp.hpp>

namespace obx {

// Throws boost::system::system_error.
void claimListeningPort(boost::asio::ip::tcp::acceptor& acceptor);

} // namespace obx
