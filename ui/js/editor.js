// The action editor: one form for every kind of action the helper knows. It
// shows only the fields of the chosen kind and builds the action's JSON form.
// The fields are a part of their own (ActionFields), so that a gesture holds
// one for each of its directions.
import { el, field, errorLine, saving, uniqueId } from "./dom.js";
import { GestureFields } from "./gesture.js";
import { keystrokeOf, keyName, modifierNames, parseModifiers } from "./keys.js";
import { actionInWords, buttonsOf, mouseButtonName, scrollDirections, stepLine, systemCommands } from "./describe.js";

const kinds = [
    ["keystroke", "Keystroke"],
    ["singleClick", "Click"],
    ["multiClick", "Double or triple click"],
    ["drag", "Drag"],
    ["snippet", "Type a text"],
    ["snippetMenu", "Snippet menu"],
    ["open", "Open a file, folder, program or address"],
    ["system", "Window or session command"],
    ["scroll", "Scroll"],
    ["sequence", "Sequence of keys, texts, clicks and pauses"],
    ["gesture", "Gesture: what the ball, the wheel or a tap does while the button is held"],
    ["useGlobal", "As in the global profile"],
    ["none", "No action"],
];
const fieldsOfKind = {
    keystroke: ["key", "modifiers"],
    singleClick: ["mouseButton", "modifiers"],
    multiClick: ["mouseButton", "clicks", "modifiers"],
    drag: ["mouseButton", "modifiers"],
    snippet: ["content"],
    open: ["path"],
    system: ["system"],
    scroll: ["direction", "lines"],
    sequence: ["steps"],
    gesture: ["gesture"],
};
const modifierLabels = { alt: "Alt", ctrl: "Ctrl", shift: "Shift", win: "Super (Windows key)" };

const capitalised = (text) => `${text[0].toUpperCase()}${text.slice(1)}`;

// The step list's lines, as describe.js writes them, back into steps. The
// helper checks the bounds (steps, pauses) and answers with the step's number.
const modifierOfWord = { alt: "alt", ctrl: "ctrl", control: "ctrl", shift: "shift", super: "win", win: "win" };
const buttonOfWord = { left: 1, right: 2, middle: 3, back: 4, forward: 5 };
const stepTypes = { key: "keystroke", down: "keyDown", up: "keyUp", click: "click", press: "buttonDown",
    release: "buttonUp" };

function keyCodeOfName(name) {
    const wanted = name.toLowerCase();
    const numbered = /^key (\d+)$/.exec(wanted);
    if (numbered) return Number(numbered[1]);
    for (let code = 1; code <= 254; code++) {
        if (keyName(code).toLowerCase() === wanted) return code;
    }
    return null;
}

function parseStep(line, number) {
    const fail = (why) => { throw new Error(`Step ${number} (“${line}”): ${why}`); };
    const [, word, rest = ""] = /^(\S+)(?: (.*))?$/.exec(line);
    const type = word.toLowerCase();
    if (type === "pause") {
        if (!/^\d+$/.test(rest.trim())) fail("a pause takes its milliseconds, as in pause 200.");
        return { type, ms: Number(rest.trim()) };
    }
    if (type === "text") {
        if (rest === "") fail("write the text after the word text.");
        return { type, text: rest.replace(/\\(\\|n)/g, (_, escaped) => (escaped === "n" ? "\n" : "\\")) };
    }
    if (!stepTypes[type]) fail("begin it with key, down, up, text, click, press, release or pause.");
    const pieces = rest.split("+").map((piece) => piece.trim()).filter((piece) => piece !== "");
    if (pieces.length === 0) fail(`name the ${type === "click" || type === "press" || type === "release" ? "mouse button" : "key"}.`);
    const step = { type: stepTypes[type] };
    const last = pieces[pieces.length - 1];
    const modifierPieces = type in { down: 1, up: 1 } && modifierOfWord[last.toLowerCase()] ? pieces : pieces.slice(0, -1);
    const modifiers = modifierPieces.map((piece) => modifierOfWord[piece.toLowerCase()] ?? fail(`“${piece}” is no modifier (Alt, Ctrl, Shift, Super).`));
    if (modifierPieces.length < pieces.length) {
        if (step.type === "click" || step.type === "buttonDown" || step.type === "buttonUp") {
            step.button = buttonOfWord[last.toLowerCase()] ?? fail(`“${last}” is no mouse button (left, right, middle, back, forward).`);
        } else {
            step.keyCode = keyCodeOfName(last) ?? fail(`“${last}” is no key name, such as C, Enter, F5 or Page Up.`);
        }
    }
    if (modifiers.length) step.modifiers = modifierNames.filter((name) => modifiers.includes(name)).join(",");
    return step;
}

function parseSteps(text) {
    const lines = text.split("\n").filter((line) => line.trim() !== "");
    if (lines.length === 0) throw new Error("Write the steps, one a line, such as key Ctrl+C or pause 200.");
    return lines.map((line, index) => parseStep(line.trimStart(), index + 1));
}

function options(pairs, chosen) {
    return pairs.map(([value, text]) => el("option", { value, text, selected: String(value) === String(chosen) }));
}

// The fields of one action: the kind and the fields of the chosen kind alone.
// prefix keeps the names of nested fields apart ("up-kind" beside "kind").
export class ActionFields {
    constructor({ action, kinds: kindChoices, prefix = "", subject = "this button" }) {
        this.subject = subject;
        this.keyCode = action?.command === "keystroke" ? Number(action.keyCode) : null;
        const known = kindChoices.some(([kind]) => kind === action?.command);
        const name = (text) => `${prefix}${text}`;
        this.kind = el("select", { name: name("kind") }, options(kindChoices, known ? action.command : kindChoices[0][0]));
        const keyHelp = uniqueId("key-capture-help");
        this.keyCapture = el("input", {
            type: "text", name: name("key"), readonly: true, class: "key-capture",
            placeholder: "Press the keys here", value: this.keyCode === null ? "" : keyName(this.keyCode),
            "aria-describedby": keyHelp,
        });
        this.keyCapture.addEventListener("keydown", (event) => this.capture(event));
        this.modifiers = modifierNames.map((modifier) =>
            el("input", { type: "checkbox", name: name(`modifier-${modifier}`), value: modifier,
                checked: parseModifiers(action?.modifiers).includes(modifier) }));
        this.mouseButton = el("select", { name: name("mouseButton") },
            options([1, 2, 3, 4, 5].map((n) => [n, capitalised(mouseButtonName(n))]), action?.button ?? 1));
        this.clicks = el("select", { name: name("clicks") }, options([[2, "Double"], [3, "Triple"]], action?.clicks ?? 2));
        this.content = el("textarea", { name: name("content"), rows: 3, text: action?.content ?? "" });
        this.path = el("input", { type: "text", name: name("path"), value: action?.path ?? "",
            placeholder: "~/Documents, /usr/bin/gimp or https://…" });
        this.system = el("select", { name: name("system") }, options(Object.entries(systemCommands), action?.action));
        this.direction = el("select", { name: name("direction") },
            options(Object.entries(scrollDirections), String(action?.direction ?? "up").toLowerCase()));
        this.lines = el("input", { type: "number", name: name("lines"), min: 1, max: 100, value: action?.lines ?? 1 });
        const stepsHelp = uniqueId("steps-help");
        this.steps = el("textarea", { name: name("steps"), rows: 6, spellcheck: false, "aria-describedby": stepsHelp,
            text: action?.command === "sequence" && Array.isArray(action.steps) ? action.steps.map(stepLine).join("\n") : "" });
        this.groups = {
            key: el("div", {}, [field("Key (press it)", this.keyCapture),
                el("p", { id: keyHelp, class: "hint",
                    text: "Focus the field and press the keys together, for example Ctrl and C." })]),
            mouseButton: field("Mouse button", this.mouseButton),
            clicks: field("Clicks", this.clicks),
            modifiers: el("fieldset", { class: "modifiers" }, [el("legend", { text: "Held keys" }),
                ...this.modifiers.map((box) => field(modifierLabels[box.value], box))]),
            content: field("Text to type", this.content),
            path: field("File, folder, program or address", this.path),
            system: field("Command", this.system),
            direction: field("Direction", this.direction),
            lines: field("Lines per step", this.lines),
            steps: el("div", {}, [field("Steps, one a line", this.steps),
                el("p", { id: stepsHelp, class: "hint",
                    text: "key Ctrl+C, down Shift, up Shift, text Hello (\\n for a new line), click left, "
                        + "press left, release left, pause 200 (milliseconds: at most 5000 each, 10000 in all). At most 64 steps. "
                        + "A press of any button during a pause stops the sequence." })]),
        };
        if (kindChoices.some(([kind]) => kind === "gesture")) {
            // The directions take any kind but a gesture and "as in the global profile".
            const nestedKinds = [["none", "No action"], ...kinds.filter(([kind]) => !["gesture", "useGlobal", "none"].includes(kind))];
            this.gesture = new GestureFields(action?.command === "gesture" ? action : null,
                (nested, place) => new ActionFields({ action: nested, kinds: nestedKinds,
                    prefix: `${prefix}${place}-`, subject: "this move" }));
            this.groups.gesture = this.gesture.element;
        }
        this.element = el("div", { class: "action-fields" }, [field("Action", this.kind), ...Object.values(this.groups)]);
        this.kind.addEventListener("change", () => this.showFieldsOfKind());
        this.showFieldsOfKind();
    }

    capture(event) {
        // Tab still moves on, so the keyboard alone can leave the field.
        if (event.key === "Tab" && !event.ctrlKey && !event.altKey && !event.metaKey) return;
        event.preventDefault();
        const stroke = keystrokeOf(event);
        if (!stroke) return;
        this.keyCode = stroke.keyCode;
        this.keyCapture.value = keyName(stroke.keyCode);
        const held = parseModifiers(stroke.modifiers);
        for (const box of this.modifiers) box.checked = held.includes(box.value);
    }

    showFieldsOfKind() {
        const shown = new Set(fieldsOfKind[this.kind.value] ?? []);
        for (const [name, group] of Object.entries(this.groups)) group.hidden = !shown.has(name);
    }

    modifierText() {
        return this.modifiers.filter((box) => box.checked).map((box) => box.value).join(",");
    }

    // The action's JSON form; throws with words when the form is incomplete.
    action() {
        const command = this.kind.value;
        const button = Number(this.mouseButton.value);
        switch (command) {
        case "keystroke":
            if (this.keyCode === null) throw new Error(`Press the key ${this.subject} should send.`);
            return { command, keyCode: this.keyCode, modifiers: this.modifierText() };
        case "singleClick":
        case "drag":
            return { command, button, modifiers: this.modifierText() };
        case "multiClick":
            return { command, button, clicks: Number(this.clicks.value), modifiers: this.modifierText() };
        case "snippet":
            return { command, content: this.content.value };
        case "open":
            if (this.path.value.trim() === "") throw new Error(`Name the file, folder, program or address ${this.subject} opens.`);
            return { command, path: this.path.value.trim() };
        case "system":
            return { command, action: this.system.value };
        case "scroll":
            return { command, direction: this.direction.value, lines: Number(this.lines.value) };
        case "sequence":
            return { command, steps: parseSteps(this.steps.value) };
        case "gesture":
            return { command, ...this.gesture.fields() };
        default:
            return { command };
        }
    }
}

export class ActionEditor {
    // save(action) stores the action and rejects with the helper's reason.
    constructor({ mask, action, allowUseGlobal, save, close }) {
        this.save = save;
        this.close = close;
        this.fields = new ActionFields({ action,
            kinds: kinds.filter(([kind]) => allowUseGlobal || kind !== "useGlobal") });
        this.kind = this.fields.kind;
        this.error = errorLine();
        this.form = el("form", { class: "action-editor", "aria-label": `Action of ${buttonsOf(mask)}` }, [
            el("h3", { text: `${buttonsOf(mask)}: choose its action` }),
            el("p", { class: "hint", text: `Now: ${actionInWords(action)}` }),
            this.fields.element,
            this.error,
            el("div", { class: "actions" }, [
                el("button", { type: "submit", text: "Save" }),
                el("button", { type: "button", text: "Cancel", onclick: () => this.close() }),
            ]),
        ]);
        this.form.addEventListener("submit", (event) => {
            event.preventDefault();
            this.submit();
        });
        this.form.addEventListener("keydown", (event) => {
            if (event.key === "Escape" && !event.target.classList.contains("key-capture")) this.close();
        });
    }

    async submit() {
        await saving(this.form, this.error, async () => {
            const saved = await this.save(this.fields.action());
            this.close(actionInWords(saved));
        });
    }
}
