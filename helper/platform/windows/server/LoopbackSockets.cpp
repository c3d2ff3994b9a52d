#include "platform/LoopbackSockets.h"

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <system_error>
#include <vector>

namespace obx {

namespace {

using boost::asio::ip::tcp;

void markNotInherited(SOCKET socket) {
    ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

// The bytes of the user SID of a process's token; empty when unreadable.
std::vector<unsigned char> userSidOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) {
        return {};
    }
    std::vector<unsigned char> sid;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size != 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
        const auto* bytes = static_cast<const unsigned char*>(user->User.Sid);
        sid.assign(bytes, bytes + ::GetLengthSid(user->User.Sid));
    }
    ::CloseHandle(token);
    return sid;
}

bool sameEndpoint(DWORD address, DWORD port, const tcp::endpoint& endpoint) {
    return endpoint.address().is_v4() && address == ::htonl(endpoint.address().to_v4().to_uint()) &&
           ::ntohs(static_cast<u_short>(port)) == endpoint.port();
}

// The process that owns the connection from peer to own, or 0.
DWORD owningProcess(const tcp::endpoint& peer, const tcp::endpoint& own) {
    std::vector<unsigned char> table;
    ULONG size = 0;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between the calls.
    for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        table.resize(size);
        result = ::GetExtendedTcpTable(table.empty() ? nullptr : table.data(), &size, FALSE, AF_INET,
                                       TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
    }
    if (result != NO_ERROR) {
        return 0;
    }
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    for (DWORD index = 0; index < rows->dwNumEntries; ++index) {
        const MIB_TCPROW_OWNER_PID& row = rows->table[index];
        if (sameEndpoint(row.dwLocalAddr, row.dwLocalPort, peer) &&
            sameEndpoint(row.dwRemoteAddr, row.dwRemotePort, own)) {
            return row.dwOwningPid;
        }
    }
    return 0;
}

class TokenPeerOwnerCheck final : public PeerOwnerCheck {
public:
    TokenPeerOwnerCheck() : ownSid_(userSidOf(::GetCurrentProcess())) {
        if (ownSid_.empty()) {
            throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                    "reading the helper's own user");
        }
    }

    // Every process of the user is the user: the sandboxes of Windows
    // (AppContainers) reach the loopback address only when exempted.
    PeerOwner ownerOf(const tcp::socket& socket) override {
        return peerIsOwnUser(socket) ? PeerOwner::user : PeerOwner::anotherUser;
    }

private:
    bool peerIsOwnUser(const tcp::socket& socket) {
        boost::system::error_code error;
        const auto own = socket.local_endpoint(error);
        const auto peer = error ? tcp::endpoint() : socket.remote_endpoint(error);
        if (error) {
            return false;
        }
        const DWORD process = owningProcess(peer, own);
        if (process == 0) {
            return false;
        }
        if (process == ::GetCurrentProcessId()) {
            return true;
        }
        HANDLE handle = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
        if (handle == nullptr) {
            return false;
        }
        const bool same = userSidOf(handle) == ownSid_;
        ::CloseHandle(handle);
        return same;
    }

    std::vector<unsigned char> ownSid_;
};

} // namespace

void keepFromChildProcesses(tcp::acceptor& acceptor) {
    markNotInherited(acceptor.native_handle());
}

void keepFromChildProcesses(tcp::socket& socket) {
    markNotInherited(socket.native_handle());
}

std::unique_ptr<PeerOwnerCheck> makePeerOwnerCheck() {
    return std::make_unique<TokenPeerOwnerCheck>();
}

} // namespace obx
