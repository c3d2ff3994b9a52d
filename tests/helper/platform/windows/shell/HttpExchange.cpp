// http_exchange <port> [--first-event]: sends the bytes of its standard input to the loopback port and
// writes every byte the server answers, up to its close, to standard output; with --first-event, up to
// the end of the first server-sent event, for a stream that never closes. The program test asks obxhelper.exe
// through it because the command server serves only processes of its own user, and a Linux process
// has no Windows process behind its connection.

#include "RawHttpClient.h"

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

int main(int argc, char** argv) {
    const std::string_view text = argc >= 2 ? argv[1] : "";
    const bool firstEvent = argc == 3 && std::string_view(argv[2]) == "--first-event";
    std::uint16_t port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size() || port == 0 || argc > 3 ||
        (argc == 3 && !firstEvent)) {
        std::cerr << "usage: http_exchange <port> [--first-event] <request >answer\n";
        return 2;
    }
    try {
        // The answers are compared byte for byte: no line-end translation either way.
        ::_setmode(::_fileno(stdin), _O_BINARY);
        ::_setmode(::_fileno(stdout), _O_BINARY);
        const std::string request{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
        obx::test::RawHttpClient client(port);
        client.send(request);
        // As long as the test waits for an answer: Wine on a busy machine can be slow.
        // An event ends with a blank line; the head before it ends its lines with CR LF.
        const auto answer = firstEvent ? client.readUntil("\n\n", std::chrono::seconds(60))
                                       : client.readToClose(std::chrono::seconds(60));
        if (!answer) {
            std::cerr << "http_exchange: the server kept the connection open\n";
            return 1;
        }
        std::cout.write(answer->data(), static_cast<std::streamsize>(answer->size()));
        std::cout.flush();
        return std::cout ? 0 : 1;
    } catch (const std::exception& failure) {
        std::cerr << "http_exchange: " << failure.what() << '\n';
        return 1;
    }
}
