// The installer's helper start and quit request against a machine that Wine cannot show: split
// tokens, and helpers in several sessions.
#include "HelperControl.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <map>
#include <set>

namespace obx::setup {
namespace {

struct Token {
    TOKEN_ELEVATION_TYPE elevation;
    DWORD session;
    std::string linked; // empty: none
};

class FakeMachine final : public UserTokens, public HelperSessions {
public:
    std::map<std::string, Token> tokens{{"shell", {TokenElevationTypeLimited, 1, "shell elevated"}},
                                        {"shell elevated", {TokenElevationTypeFull, 1, "shell"}},
                                        {"user elevated", {TokenElevationTypeFull, 1, "user"}},
                                        {"user", {TokenElevationTypeLimited, 1, "user elevated"}},
                                        {"user unsplit", {TokenElevationTypeDefault, 1, ""}},
                                        {"user elevated unlinked", {TokenElevationTypeFull, 1, ""}}};
    std::string shell, own;
    std::vector<std::string> startedAs;
    std::map<DWORD, RunningHelper> running; // by process
    std::set<DWORD> sessionsWithEvent, setEvents, openedAccess;

    HANDLE shellToken() override { return shell.empty() ? nullptr : open(shell); }
    HANDLE ownToken() override { return open(own); }
    TOKEN_ELEVATION_TYPE elevationType(HANDLE token) override { return tokens.at(of(token)).elevation; }
    HANDLE linkedToken(HANDLE token) override {
        const std::string& linked = tokens.at(of(token)).linked;
        return linked.empty() ? nullptr : open(linked);
    }
    DWORD start(HANDLE token, const std::wstring&, const std::wstring&) override {
        startedAs.push_back(of(token));
        running[nextProcess] = {nextProcess, tokens.at(of(token)).session};
        ++nextProcess;
        return ERROR_SUCCESS;
    }
    std::vector<RunningHelper> runningHelpers() override {
        std::vector<RunningHelper> helpers;
        for (const auto& [process, helper] : running)
            helpers.push_back(helper);
        return helpers;
    }
    HANDLE openQuitEvent(DWORD session) override {
        return sessionsWithEvent.count(session) ? open("event " + std::to_string(session)) : nullptr;
    }
    // A helper quits when its session's event is set.
    void setEvent(HANDLE event) override {
        const DWORD session = std::stoul(of(event).substr(6));
        setEvents.insert(session);
        for (auto& [process, helper] : running)
            if (helper.session == session)
                quit.insert(process);
    }
    void resetEvent(HANDLE event) override { setEvents.erase(std::stoul(of(event).substr(6))); }
    HANDLE openProcess(DWORD process, DWORD access) override {
        openedAccess.insert(access);
        return running.count(process) ? open("process " + std::to_string(process)) : nullptr;
    }
    bool waitForExit(HANDLE process, DWORD) override {
        const DWORD id = std::stoul(of(process).substr(8));
        return quit.count(id) && running.erase(id);
    }
    void close(HANDLE handle) override {
        EXPECT_EQ(handles.erase(handle), 1u) << "closed twice or never opened";
    }

    size_t openHandles() const { return handles.size(); }

private:
    HANDLE open(const std::string& what) {
        HANDLE handle = reinterpret_cast<HANDLE>(++lastHandle);
        handles[handle] = what;
        return handle;
    }
    const std::string& of(HANDLE handle) const { return handles.at(handle); }

    std::map<HANDLE, std::string> handles;
    std::set<DWORD> quit;
    uintptr_t lastHandle = 0x100;
    DWORD nextProcess = 1000;
};

TEST(HelperStart, UsesAnUnelevatedTokenOfTheShellElseOfTheInstallingUser) {
    const struct {
        std::string shell, own, startedAs;
    } cases[] = {
        {"shell", "user elevated", "shell"},
        {"shell elevated", "user elevated", "shell"},
        {"", "user elevated", "user"},
        {"", "user unsplit", "user unsplit"}, // a standard user, or no UAC: the token is the user's own
        {"", "user elevated unlinked", ""},   // elevated, and no unelevated half: no start
    };
    for (const auto& c : cases) {
        FakeMachine machine;
        machine.shell = c.shell;
        machine.own = c.own;
        const auto failure = startHelperUnelevated(machine, L"obxhelper.exe", L"folder");
        EXPECT_EQ(machine.startedAs,
                  c.startedAs.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.startedAs})
            << c.shell << " / " << c.own;
        EXPECT_EQ(failure.has_value(), c.startedAs.empty());
        EXPECT_EQ(machine.openHandles(), 0u);
    }
}

TEST(HelperQuit, EverySessionIsAskedThroughItsEventNoneKilledAndTheInstallersRestarted) {
    FakeMachine machine;
    machine.running = {{100, {100, 1}}, {200, {200, 2}}, {300, {300, 3}}, {400, {400, 4}}};
    machine.sessionsWithEvent = {1, 2, 3}; // session 4's helper made no event: it cannot be asked

    EXPECT_EQ(askHelpersToQuit(machine, 1000), 1u);
    EXPECT_EQ(machine.openedAccess, std::set<DWORD>{SYNCHRONIZE}); // waited for, never terminated
    EXPECT_TRUE(machine.setEvents.empty());                        // reset for the helpers to come
    machine.shell = "shell";
    machine.own = "user elevated";
    EXPECT_FALSE(startHelperUnelevated(machine, L"obxhelper.exe", L"folder").has_value());

    std::map<DWORD, DWORD> sessionOf;
    for (const auto& [process, helper] : machine.running)
        sessionOf[process] = helper.session;
    EXPECT_EQ(sessionOf, (std::map<DWORD, DWORD>{{400, 4}, {1000, 1}}));
    EXPECT_EQ(machine.openHandles(), 0u);
}

} // namespace
} // namespace obx::setup
