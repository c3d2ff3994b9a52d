#include "actions/Actions.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;

template <typename Kind>
std::shared_ptr<Kind> build(const json& object) {
    auto action = std::dynamic_pointer_cast<Kind>(createAction(nullptr, object));
    if (!action) {
        throw std::logic_error("built the wrong kind for " + object.dump());
    }
    return action;
}

std::string errorOf(const json& object) {
    try {
        createAction(nullptr, object);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

json written(const ActionBase& action) {
    json object = json::object();
    action.toJson(object);
    return object;
}

TEST(CreateAction, KnowsTheTwelveKindsByName) {
    const json minimal[] = {
        {{"command", "none"}},
        {{"command", "sequence"}},
        {{"command", "keystroke"}, {"keyCode", 1}},
        {{"command", "open"}, {"path", "p"}},
        {{"command", "snippet"}, {"content", "c"}},
        {{"command", "snippetMenu"}},
        {{"command", "singleClick"}, {"button", 1}},
        {{"command", "drag"}, {"button", 1}},
        {{"command", "multiClick"}, {"button", 1}, {"clicks", 2}},
        {{"command", "useGlobal"}},
        {{"command", "system"}, {"action", "a"}},
        {{"command", "scroll"}, {"direction", "up"}},
    };
    for (const auto& object : minimal) {
        const auto action = createAction(nullptr, object);
        EXPECT_EQ(action->name(), object["command"]) << object;
    }
}

TEST(CreateAction, SetsTheOwnerAfterReading) {
    auto* config = reinterpret_cast<DeviceConfig*>(0x1000);
    EXPECT_EQ(createAction(config, {{"command", "none"}})->owner(), config);
    EXPECT_EQ(createAction(nullptr, {{"command", "none"}})->owner(), nullptr);
}

TEST(CreateAction, RejectsMissingOrUnknownCommands) {
    EXPECT_THROW(createAction(nullptr, json::object()), json::out_of_range);
    EXPECT_THROW(createAction(nullptr, {{"command", 5}}), json::type_error);
    EXPECT_THROW(createAction(nullptr, json::array({"none"})), json::type_error);
    EXPECT_THROW(createAction(nullptr, json("none")), json::type_error);
    EXPECT_EQ(errorOf({{"command", "Keystroke"}, {"keyCode", 65}}), "Unknown action name");
    EXPECT_EQ(errorOf({{"command", ""}}), "Unknown action name");
}

TEST(CreateAction, PassesTheErrorsOfReadingFields) {
    EXPECT_THROW(createAction(nullptr, {{"command", "keystroke"}}), json::out_of_range);
    EXPECT_THROW(createAction(nullptr, {{"command", "open"}}), json::out_of_range);
    EXPECT_THROW(createAction(nullptr, {{"command", "snippet"}}), json::out_of_range);
    EXPECT_THROW(createAction(nullptr, {{"command", "system"}}), json::out_of_range);
    EXPECT_THROW(createAction(nullptr, {{"command", "scroll"}}), json::out_of_range);
    EXPECT_THROW(createAction(nullptr, {{"command", "multiClick"}, {"button", 1}}), json::out_of_range);
    EXPECT_EQ(errorOf({{"command", "singleClick"}, {"button", "1"}}),
              "[json.exception.type_error.302] type must be number, but is string");
    EXPECT_EQ(errorOf({{"command", "open"}, {"path", "p"}, {"args", "x"}}),
              "[json.exception.type_error.302] type must be array, but is string");
    EXPECT_THROW(createAction(nullptr, {{"command", "open"}, {"path", "p"}, {"args", {1}}}),
                 json::type_error);
    EXPECT_THROW(createAction(nullptr, {{"command", "snippet"}, {"content", 3}}), json::type_error);
    EXPECT_THROW(createAction(nullptr, {{"command", "keystroke"}, {"keyCode", 1}, {"modifiers", 4}}),
                 json::type_error);
}

TEST(CreateAction, LetsALaterRegistrationReplaceAKind) {
    struct Marked : ActionBase {
        Marked() : ActionBase("testMarked") {}
        void execute(IObxDevice&, bool) override {}
    };
    registerActionKind("testMarked", [] { return std::make_unique<ActionNone>(); });
    EXPECT_EQ(createAction(nullptr, {{"command", "testMarked"}})->name(), "none");
    registerActionKind("testMarked", [] { return std::make_unique<Marked>(); });
    EXPECT_EQ(createAction(nullptr, {{"command", "testMarked"}})->name(), "testMarked");
}

TEST(Keystroke, ReadsItsFieldsTolerantly) {
    const auto action = build<ActionKeystroke>({{"command", "keystroke"}, {"keyCode", "65"}});
    EXPECT_EQ(action->keyCode(), 65u);
    EXPECT_EQ(action->modifiers(), 0u);
    EXPECT_FALSE(action->syncUp());

    const auto full = build<ActionKeystroke>(
        {{"command", "keystroke"}, {"keyCode", 0x41}, {"modifiers", "CTRL, Shift,hyper"}, {"syncUp", "yes"}});
    EXPECT_EQ(full->modifiers(), 0x05u);
    EXPECT_TRUE(full->syncUp());
    EXPECT_EQ(written(*full), json({{"keyCode", 0x41}, {"modifiers", "ctrl,shift"}}));
}

TEST(Keystroke, SyncUpTextsFalseAndZeroReadAsFalse) {
    for (const char* text : {"false", "FaLsE", "0"}) {
        EXPECT_FALSE(
            build<ActionKeystroke>({{"command", "keystroke"}, {"keyCode", 1}, {"syncUp", text}})->syncUp());
    }
    EXPECT_TRUE(build<ActionKeystroke>({{"command", "keystroke"}, {"keyCode", 1}, {"syncUp", ""}})->syncUp());
}

TEST(OpenItem, ReadsAndWritesItsFields) {
    const auto bare = build<ActionOpenItem>({{"command", "open"}, {"path", "/tmp"}});
    EXPECT_TRUE(bare->args().empty());
    EXPECT_EQ(bare->type(), 0);
    EXPECT_EQ(bare->itemName(), "");
    EXPECT_EQ(bare->name(), "open");

    const json full = {{"command", "open"},     {"name", "Notes"}, {"path", "/home/u/notes.txt"},
                       {"args", {"-a", "b c"}}, {"type", "2"},     {"unknownKey", true}};
    const auto action = build<ActionOpenItem>(full);
    EXPECT_EQ(action->itemName(), "Notes");
    EXPECT_EQ(action->path(), "/home/u/notes.txt");
    EXPECT_EQ(action->args(), (std::vector<std::string>{"-a", "b c"}));
    EXPECT_EQ(action->type(), 2);
    EXPECT_EQ(written(*action),
              json({{"name", "Notes"}, {"path", "/home/u/notes.txt"}, {"args", {"-a", "b c"}}, {"type", 2}}));
}

TEST(Snippet, ReadsAndWritesItsFields) {
    const auto bare = build<ActionSnippet>({{"command", "snippet"}, {"content", ""}});
    EXPECT_EQ(bare->index(), -1);
    EXPECT_EQ(bare->label(), "");
    const auto action = build<ActionSnippet>(
        {{"command", "snippet"}, {"content", "Grüße\n"}, {"label", "hi"}, {"index", "3"}});
    EXPECT_EQ(action->content(), "Grüße\n");
    EXPECT_EQ(action->label(), "hi");
    EXPECT_EQ(action->index(), 3);
    EXPECT_EQ(written(*action), json({{"content", "Grüße\n"}, {"label", "hi"}, {"index", 3}}));
}

TEST(MouseButtonKinds, ReadButtonsAsPlainNumbers) {
    EXPECT_EQ(build<ActionSingleClick>({{"command", "singleClick"}, {"button", true}})->button(), 1);
    EXPECT_EQ(build<ActionSingleClick>({{"command", "singleClick"}, {"button", 2.7}})->button(), 2);
    const auto click =
        build<ActionSingleClick>({{"command", "singleClick"}, {"button", 3}, {"modifiers", "win,alt"}});
    EXPECT_EQ(click->modifiers(), 0x50u);
    EXPECT_EQ(click->buttonMask(), 0x4u);
    EXPECT_EQ(written(*click), json({{"button", 3}, {"modifiers", "alt,win"}}));

    const auto drag = build<ActionDrag>({{"command", "drag"}, {"button", 2}, {"modifiers", "ctrl"}});
    EXPECT_EQ(drag->modifiers(), 0x04u);
    EXPECT_EQ(written(*drag), json({{"button", 2}}));

    const auto multi = build<ActionMultiClick>({{"command", "multiClick"}, {"button", 1}, {"clicks", 3.0}});
    EXPECT_EQ(multi->clicks(), 3);
    EXPECT_EQ(multi->modifiers(), 0u);
    EXPECT_EQ(written(*multi), json({{"button", 1}, {"clicks", 3}, {"modifiers", ""}}));
    EXPECT_THROW(build<ActionMultiClick>({{"command", "multiClick"}, {"button", 1}, {"clicks", "2"}}),
                 json::type_error);
    // A click count beyond any use would hold the worker for hours.
    for (auto [clicks, expected] : {std::pair<json, int>{2147483647, 100}, {1e10, 100}, {0, 0}, {-3, 0}}) {
        EXPECT_EQ(
            build<ActionMultiClick>({{"command", "multiClick"}, {"button", 1}, {"clicks", clicks}})->clicks(),
            expected)
            << clicks;
    }
    EXPECT_EQ(build<ActionSingleClick>({{"command", "singleClick"}, {"button", 1e10}})->button(), INT32_MAX);
}

TEST(MouseButtonKinds, ButtonNumbersBecomeOneBitMasksWrappingAt32) {
    const auto maskOf = [](int button) {
        return build<ActionSingleClick>({{"command", "singleClick"}, {"button", button}})->buttonMask();
    };
    EXPECT_EQ(maskOf(1), 0x1u);
    EXPECT_EQ(maskOf(5), 0x10u);
    EXPECT_EQ(maskOf(32), 0x80000000u);
    EXPECT_EQ(maskOf(33), 0x1u);
    EXPECT_EQ(maskOf(0), 0x80000000u);
}

TEST(System, KeepsItsParamsWhole) {
    const auto bare = build<ActionSystem>({{"command", "system"}, {"action", "closeWindow"}});
    EXPECT_TRUE(bare->params().is_null());
    const json params = {{"x", {1, 2}}, {"y", "z"}};
    const auto action =
        build<ActionSystem>({{"command", "system"}, {"action", "minimizeAll"}, {"params", params}});
    EXPECT_EQ(action->action(), "minimizeAll");
    EXPECT_EQ(action->params(), params);
    EXPECT_EQ(written(*action), json({{"action", "minimizeAll"}, {"params", params}}));
    EXPECT_THROW(build<ActionSystem>({{"command", "system"}, {"action", nullptr}}), json::type_error);
}

TEST(Scroll, LooksDirectionsUpInAnyCase) {
    const auto directionOf = [](const char* text) {
        return build<ActionScroll>({{"command", "scroll"}, {"direction", text}})->direction();
    };
    EXPECT_EQ(directionOf("UP"), 1u);
    EXPECT_EQ(directionOf("down"), 2u);
    EXPECT_EQ(directionOf("Left"), 3u);
    EXPECT_EQ(directionOf("right"), 4u);
    EXPECT_EQ(directionOf("trackball"), 5u);
    EXPECT_EQ(directionOf("TrackAuto"), 6u);
    EXPECT_EQ(directionOf("sideways"), 0u);
    EXPECT_EQ(directionOf("unknown"), 0u);
    EXPECT_EQ(directionOf(" up"), 0u);
    EXPECT_THROW(build<ActionScroll>({{"command", "scroll"}, {"direction", 1}}), json::type_error);
}

TEST(Scroll, ClampsLinesToOneThroughHundred) {
    const auto linesOf = [](const json& lines) {
        return build<ActionScroll>({{"command", "scroll"}, {"direction", "up"}, {"lines", lines}})->lines();
    };
    EXPECT_EQ(build<ActionScroll>({{"command", "scroll"}, {"direction", "up"}})->lines(), 1);
    EXPECT_EQ(linesOf(0), 1);
    EXPECT_EQ(linesOf(-5), 1);
    EXPECT_EQ(linesOf(1), 1);
    EXPECT_EQ(linesOf(100), 100);
    EXPECT_EQ(linesOf(101), 100);
    EXPECT_EQ(linesOf(250), 100);
    EXPECT_EQ(linesOf("7"), 7);
}

TEST(Scroll, WritesTheDirectionText) {
    EXPECT_EQ(
        written(*build<ActionScroll>({{"command", "scroll"}, {"direction", "TRACKAUTO"}, {"lines", 3}})),
        json({{"direction", "trackauto"}, {"lines", 3}}));
    EXPECT_EQ(written(*build<ActionScroll>({{"command", "scroll"}, {"direction", "nowhere"}})),
              json({{"direction", "unknown"}, {"lines", 1}}));
}

TEST(FieldlessKinds, WriteNothing) {
    for (const char* kind : {"none", "sequence", "snippetMenu", "useGlobal"}) {
        const auto action = createAction(nullptr, {{"command", kind}, {"button", "ignored"}});
        EXPECT_EQ(written(*action), json::object()) << kind;
    }
}

} // namespace
} // namespace obx
