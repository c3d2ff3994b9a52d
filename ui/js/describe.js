// Actions and buttons in a person's words.
import { keyName, modifiersInWords } from "./keys.js";

const mouseButtons = ["left", "right", "middle", "back", "forward"];
export const systemCommands = {
    maximizeWindow: "Maximizes the window",
    minimizeWindow: "Minimizes the window",
    closeWindow: "Closes the window",
    minimizeAll: "Shows the desktop",
    lockWorkstation: "Locks the session",
};
export const scrollDirections = {
    up: "Scrolls up",
    down: "Scrolls down",
    left: "Scrolls left",
    right: "Scrolls right",
    trackball: "Scrolls with the ball while held",
    trackauto: "Scrolls with the ball until clicked again",
};
// The moves of a gesture (docs/gestures.md), in the order the editor shows them.
export const gestureMoves = [["up", "ball up"], ["down", "ball down"], ["left", "ball left"], ["right", "ball right"],
    ["wheelUp", "wheel up"], ["wheelDown", "wheel down"], ["panLeft", "pan left"], ["panRight", "pan right"],
    ["tap", "tap"]];
const multiClickWords = { 2: "Double", 3: "Triple" };
const PAN_LEFT = 0x40000000;
const PAN_RIGHT = 0x80000000;

export function mouseButtonName(number) {
    return mouseButtons[number - 1] ?? `button ${number}`;
}

function withModifiers(modifiers, text) {
    return [...modifiersInWords(modifiers), text].join("+");
}

function shortened(text, length) {
    return text.length > length ? `${text.slice(0, length)}…` : text;
}

function openedPlace(path) {
    return String(path).replace(/^\/home\/[^/]+(?=\/|$)/, "~");
}

// Macros of the helper's action file are named group_name ("edit_copy",
// "mouse_leftDoubleClick"): the name alone, in words, says what they do.
function macroInWords(command) {
    const name = command.includes("_") ? command.slice(command.indexOf("_") + 1) : command;
    const words = name.replace(/([A-Z]|[0-9]+)/g, " $1").trim().toLowerCase();
    return words ? `${words[0].toUpperCase()}${words.slice(1)}` : "No action";
}

// One sequence step as a line of the editor's step list, which reads it back
// (editor.js): "key Ctrl+C", "down Shift", "pause 200", "text Hello\n", "click left".
const stepWords = { keystroke: "key", keyDown: "down", keyUp: "up", click: "click", buttonDown: "press",
    buttonUp: "release" };

export function stepLine(step) {
    switch (step.type) {
    case "pause":
        return `pause ${step.ms}`;
    case "text":
        return `text ${String(step.text).replace(/\\/g, "\\\\").replace(/\n/g, "\\n")}`;
    case "click":
    case "buttonDown":
    case "buttonUp":
        return `${stepWords[step.type]} ${withModifiers(step.modifiers, mouseButtonName(step.button))}`;
    default: {
        const key = step.keyCode ? [keyName(Number(step.keyCode))] : [];
        return `${stepWords[step.type] ?? step.type} ${[...modifiersInWords(step.modifiers), ...key].join("+")}`;
    }
    }
}

function sequenceInWords(steps) {
    if (!Array.isArray(steps) || steps.length === 0) return "Empty sequence";
    const lines = steps.map(stepLine);
    return `Sequence: ${shortened(lines.join(", "), 40)}`;
}

function gestureInWords(gesture) {
    const moves = gestureMoves.filter(([place]) => gesture[place]?.command)
        .map(([place, words]) => `${words} ${actionInWords(gesture[place])}`);
    return moves.length ? `Gesture: ${shortened(moves.join(", "), 60)}` : "Empty gesture";
}

const describers = {
    none: () => "No action",
    useGlobal: () => "As in the global profile",
    keystroke: (a) => withModifiers(a.modifiers, keyName(Number(a.keyCode))),
    singleClick: (a) => withModifiers(a.modifiers, `Click, ${mouseButtonName(a.button)}`),
    multiClick: (a) =>
        withModifiers(a.modifiers, `${multiClickWords[a.clicks] ?? `${a.clicks}×`} click, ${mouseButtonName(a.button)}`),
    drag: (a) => withModifiers(a.modifiers, `Drag, ${mouseButtonName(a.button)}`),
    snippet: (a) => `Types “${shortened(String(a.content ?? ""), 12)}”`,
    snippetMenu: () => "Shows the snippet menu",
    open: (a) => `Opens ${openedPlace(a.path ?? "")}`,
    system: (a) => systemCommands[a.action] ?? `System command “${a.action}”`,
    sequence: (a) => sequenceInWords(a.steps),
    gesture: gestureInWords,
    scroll: (a) => {
        const words = scrollDirections[String(a.direction).toLowerCase()] ?? "Scrolls";
        return Number(a.lines) > 1 ? `${words}, ${a.lines} lines` : words;
    },
};

export function actionInWords(action) {
    if (!action || typeof action !== "object") {
        return "No action";
    }
    const describe = describers[action.command];
    return describe ? describe(action) : macroInWords(String(action.command));
}

export function buttonsOf(mask) {
    if (mask === PAN_LEFT) return "Tilt left";
    if (mask === PAN_RIGHT) return "Tilt right";
    const numbers = [];
    for (let bit = 0; bit < 30; bit++) {
        if (mask & (1 << bit)) numbers.push(bit + 1);
    }
    return numbers.length > 1 ? `Buttons ${numbers.join(" + ")}` : `Button ${numbers[0]}`;
}

export const panMasks = [PAN_LEFT, PAN_RIGHT];
