// Virtual-key codes, the numbers the helper's keystrokes carry, and their names
// in words. Keys are read from KeyboardEvent.code, which names the physical key
// whatever the keyboard layout types with it.

const named = new Map([
    [0x08, "Backspace"], [0x09, "Tab"], [0x0d, "Enter"], [0x13, "Pause"], [0x14, "Caps Lock"],
    [0x1b, "Esc"], [0x20, "Space"], [0x21, "Page Up"], [0x22, "Page Down"], [0x23, "End"],
    [0x24, "Home"], [0x25, "Left"], [0x26, "Up"], [0x27, "Right"], [0x28, "Down"], [0x2c, "Print"],
    [0x2d, "Insert"], [0x2e, "Delete"], [0x5d, "Menu"], [0xad, "Mute"], [0xae, "Volume down"],
    [0xaf, "Volume up"], [0xb0, "Next track"], [0xb1, "Previous track"], [0xb2, "Stop media"],
    [0xb3, "Play/Pause"], [0xa6, "Browser back"], [0xa7, "Browser forward"], [0xa8, "Refresh"],
    [0xa9, "Browser stop"], [0xba, ";"], [0xbb, "="], [0xbc, ","], [0xbd, "-"], [0xbe, "."], [0xbf, "/"],
    [0xc0, "`"], [0xdb, "["], [0xdc, "\\"], [0xdd, "]"], [0xde, "'"],
]);

const byCode = new Map([
    ["Backspace", 0x08], ["Tab", 0x09], ["Enter", 0x0d], ["NumpadEnter", 0x0d], ["Pause", 0x13],
    ["CapsLock", 0x14], ["Escape", 0x1b], ["Space", 0x20], ["PageUp", 0x21], ["PageDown", 0x22],
    ["End", 0x23], ["Home", 0x24], ["ArrowLeft", 0x25], ["ArrowUp", 0x26], ["ArrowRight", 0x27],
    ["ArrowDown", 0x28], ["PrintScreen", 0x2c], ["Insert", 0x2d], ["Delete", 0x2e], ["ContextMenu", 0x5d],
    ["AudioVolumeMute", 0xad], ["AudioVolumeDown", 0xae], ["AudioVolumeUp", 0xaf], ["MediaTrackNext", 0xb0],
    ["MediaTrackPrevious", 0xb1], ["MediaStop", 0xb2], ["MediaPlayPause", 0xb3], ["Semicolon", 0xba],
    ["Equal", 0xbb], ["Comma", 0xbc], ["Minus", 0xbd], ["Period", 0xbe], ["Slash", 0xbf],
    ["Backquote", 0xc0], ["BracketLeft", 0xdb], ["Backslash", 0xdc], ["BracketRight", 0xdd], ["Quote", 0xde],
]);

const modifierKeys = new Set(["ShiftLeft", "ShiftRight", "ControlLeft", "ControlRight", "AltLeft", "AltRight",
    "MetaLeft", "MetaRight", "OSLeft", "OSRight"]);

// The helper's order of modifier names.
export const modifierNames = ["alt", "ctrl", "shift", "win"];
const modifierWords = { alt: "Alt", ctrl: "Ctrl", shift: "Shift", win: "Super" };

export function keyName(keyCode) {
    if ((keyCode >= 0x30 && keyCode <= 0x39) || (keyCode >= 0x41 && keyCode <= 0x5a)) {
        return String.fromCharCode(keyCode);
    }
    if (keyCode >= 0x60 && keyCode <= 0x69) {
        return `Keypad ${keyCode - 0x60}`;
    }
    if (keyCode >= 0x70 && keyCode <= 0x87) {
        return `F${keyCode - 0x6f}`;
    }
    return named.get(keyCode) ?? `key ${keyCode}`;
}

export function parseModifiers(text) {
    const pieces = String(text ?? "").split(",").map((piece) => piece.trim().toLowerCase());
    return modifierNames.filter((name) => pieces.includes(name));
}

export function modifiersInWords(text) {
    return parseModifiers(text).map((name) => modifierWords[name]);
}

// The key and modifiers of a key press, or null while only modifiers are held.
export function keystrokeOf(event) {
    if (modifierKeys.has(event.code)) {
        return null;
    }
    let keyCode = byCode.get(event.code);
    const match = /^(Key([A-Z])|Digit([0-9])|Numpad([0-9])|F([0-9]{1,2}))$/.exec(event.code);
    if (match?.[2]) keyCode = match[2].charCodeAt(0);
    else if (match?.[3]) keyCode = 0x30 + Number(match[3]);
    else if (match?.[4]) keyCode = 0x60 + Number(match[4]);
    else if (match?.[5] && Number(match[5]) <= 24) keyCode = 0x6f + Number(match[5]);
    if (keyCode === undefined) {
        return null;
    }
    const held = { alt: event.altKey, ctrl: event.ctrlKey, shift: event.shiftKey, win: event.metaKey };
    return { keyCode, modifiers: modifierNames.filter((name) => held[name]).join(",") };
}
