#include "platform/ListeningSocket.h"

#include <gtest/gtest.h>
#include <winsock2.h>

namespace obx {
namespace {

using ExclusiveAddressUse = boost::asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;

// Another program must not bind the port beside the server: on Windows only
// exclusive use forbids it, and address reuse would allow it.
TEST(WindowsListeningSocket, TakesThePortForItselfAlone) {
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor acceptor(io);
    acceptor.open(boost::asio::ip::tcp::v4());
    claimListeningPort(acceptor);
    ExclusiveAddressUse exclusive;
    acceptor.get_option(exclusive);
    EXPECT_TRUE(exclusive.value());
    boost::asio::socket_base::reuse_address reuse;
    acceptor.get_option(reuse);
    EXPECT_FALSE(reuse.value());
}

} // namespace
} // namespace obx
