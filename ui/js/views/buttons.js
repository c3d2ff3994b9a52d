// Every button and chord of the trackball with its action in words: drawn as
// the trackball has them and listed (the list is the drawing's twin for
// screen readers and the keyboard). A press on the trackball lights both; when
// the page asks which button, a press on the trackball answers.
import { api } from "../api.js";
import { el, errorLine, showError } from "../dom.js";
import { actionInWords, buttonsOf, panMasks } from "../describe.js";
import { ActionEditor } from "../editor.js";
import { ButtonLearning } from "../learn.js";
import { TrackballDrawing } from "./trackball.js";

// Shown when the driver does not tell how many buttons the trackball declares.
const DEFAULT_BUTTON_COUNT = 8;
const HIGHLIGHT_MS = 1500;

const isSingle = (mask) => Number.isInteger(Math.log2(mask)) && !panMasks.includes(mask);
const isChord = (mask) => !panMasks.includes(mask) && !Number.isInteger(Math.log2(mask));

export class ButtonsView {
    constructor(root, state) {
        this.root = root;
        this.state = state;
        this.rows = new Map();
        this.actions = new Map();
        this.editorPlace = el("div", { class: "editor-place" });
        this.body = el("tbody");
        this.drawing = new TrackballDrawing({ onChoose: (mask) => this.chosenOnDrawing(mask) });
        this.learning = new ButtonLearning({ onMask: (mask) => this.pressedWhileAsking(mask),
            onEnded: () => this.askingEnded() });
        this.asking = null;
        this.question = el("p", { class: "question", role: "status" });
        this.picks = el("fieldset", { class: "picks" });
        this.askError = errorLine();
        this.cancelAsking = el("button", { type: "button", text: "Cancel", onclick: () => this.stopAsking() });
        this.usePicks = el("button", { type: "button", text: "Use the buttons ticked", onclick: () => this.usePicked() });
        this.askPanel = el("div", { class: "asking", hidden: true }, [this.question, this.picks,
            el("div", { class: "actions" }, [this.usePicks, this.cancelAsking])]);
        this.askPanel.addEventListener("keydown", (event) => {
            if (event.key === "Escape") this.stopAsking().then(() => this.findButton.focus());
        });
        this.findButton = el("button", { type: "button", text: "Which button? Press it on the trackball",
            onclick: () => this.ask("find") });
        this.chordButton = el("button", { type: "button", text: "Add a chord", onclick: () => this.ask("chord") });
        this.root.replaceChildren(
            el("p", { class: "hint", text: "Press a button on the trackball to see it light up, or choose one here." }),
            this.drawing.element,
            el("div", { class: "actions" }, [this.findButton, this.chordButton]),
            this.askPanel, this.askError,
            el("table", { class: "buttons" }, [
                el("caption", { class: "visually-hidden", text: "Buttons and their actions" }),
                el("thead", {}, el("tr", {}, [el("th", { scope: "col", text: "Button" }),
                    el("th", { scope: "col", text: "Action" }), el("th", { scope: "col", text: "Change" })])),
                this.body,
            ]),
            this.editorPlace);
    }

    async load() {
        if (this.state.device === null) return;
        await this.stopAsking();
        const [actions, capabilities] = await Promise.all([api.buttons(this.state.device, this.state.app),
            api.capabilities(this.state.device)]);
        const count = capabilities?.buttons || DEFAULT_BUTTON_COUNT;
        this.count = count;
        const masks = new Set([...Array(count).keys()].map((bit) => 2 ** bit));
        if (capabilities?.pan) panMasks.forEach((mask) => masks.add(mask));
        for (const key of Object.keys(actions ?? {})) masks.add(Number(key));
        const rank = (mask) => (panMasks.includes(mask) ? 2 : isSingle(mask) ? 0 : 1);
        const ordered = [...masks].sort((a, b) => rank(a) - rank(b) || a - b);
        this.actions = new Map(ordered.map((mask) => [mask, actions?.[String(mask)] ?? null]));
        this.rows.clear();
        this.body.replaceChildren(...ordered.map((mask) => this.row(mask, this.actions.get(mask))));
        this.drawing.draw({ model: this.state.device, capabilities: capabilities ?? {}, count, actions: this.actions });
        this.editorPlace.replaceChildren();
    }

    row(mask, action) {
        const words = el("td", { class: "action", text: actionInWords(action) });
        const change = el("button", { type: "button", text: "Change", "aria-label": `Change ${buttonsOf(mask)}` });
        const row = el("tr", { "data-mask": mask }, [el("th", { scope: "row", text: buttonsOf(mask) }), words,
            el("td", {}, change)]);
        change.addEventListener("click", () => this.edit(mask, change));
        this.rows.set(mask, row);
        return row;
    }

    // opener: where the focus goes back when the editor closes unsaved.
    edit(mask, opener) {
        const editor = new ActionEditor({
            mask,
            action: this.actions.get(mask) ?? null,
            allowUseGlobal: this.state.app !== "*",
            save: (changed) => api.setButton(this.state.device, this.state.app, mask, changed),
            close: (savedWords) => {
                this.editorPlace.replaceChildren();
                if (!savedWords) {
                    opener.focus();
                    return;
                }
                this.load().then(() => this.rows.get(mask)?.querySelector("button")?.focus());
            },
        });
        this.editorPlace.replaceChildren(editor.form);
        editor.kind.focus();
    }

    chosenOnDrawing(mask) {
        if (this.asking === "chord" && isSingle(mask)) {
            const box = this.picks.querySelector(`input[value="${mask}"]`);
            box.checked = !box.checked;
            this.showPicked();
            return;
        }
        const opener = this.drawing.controls.get(mask);
        this.stopAsking().then(() => this.edit(mask, opener));
    }

    // Asks for a press on the trackball: "find" takes any button or chord,
    // "chord" two or more buttons held together (or ticked in the list).
    async ask(kind) {
        showError(this.askError, null);
        await this.stopAsking();
        this.editorPlace.replaceChildren();
        try {
            await this.learning.start(this.state.device);
        } catch (error) {
            showError(this.askError, error);
            return;
        }
        this.asking = kind;
        const chord = kind === "chord";
        this.question.textContent = chord
            ? "Press two buttons together on the trackball, or tick them here or on the drawing. "
                + "Until then the buttons do nothing else."
            : "Which button? Press it on the trackball. Until then the buttons do nothing else.";
        this.picks.replaceChildren(el("legend", { text: "Buttons of the chord" }),
            ...[...Array(this.count).keys()].map((bit) => {
                const box = el("input", { type: "checkbox", name: "chord-button", value: 2 ** bit, id: `chord-pick-${bit}`,
                    onchange: () => this.showPicked() });
                return el("span", { class: "pick" }, [box, el("label", { for: box.id, text: `Button ${bit + 1}` })]);
            }));
        this.picks.hidden = this.usePicks.hidden = !chord;
        this.askPanel.hidden = false;
        this.showPicked();
        this.cancelAsking.focus();
    }

    picked() {
        return [...this.picks.querySelectorAll("input:checked")].reduce((mask, box) => mask | Number(box.value), 0);
    }

    showPicked() {
        const picked = this.picked();
        this.drawing.showPicking(this.asking === "chord" ? picked : null);
        this.usePicks.disabled = !isChord(picked);
    }

    usePicked() {
        this.pressedWhileAsking(this.picked());
    }

    pressedWhileAsking(mask) {
        if (this.asking === "chord" && !isChord(mask)) {
            this.question.textContent = `That was ${buttonsOf(mask).toLowerCase()} alone: press two buttons together.`;
            return;
        }
        const opener = this.asking === "chord" ? this.chordButton : this.findButton;
        this.stopAsking().then(() => {
            this.rows.get(mask)?.scrollIntoView({ block: "nearest" });
            this.light(mask);
            this.edit(mask, opener);
        });
    }

    askingEnded() {
        if (this.asking === null) return;
        this.finishAsking();
        showError(this.askError, new Error("The question ended (its time ran out, or the trackball went away): the buttons work as before."));
    }

    finishAsking() {
        this.asking = null;
        this.askPanel.hidden = true;
        this.drawing.showPicking(null);
    }

    // Ends the learn moment, so the buttons do their actions again.
    async stopAsking() {
        if (this.asking === null) return;
        this.finishAsking();
        try {
            await this.learning.end();
        } catch (error) {
            showError(this.askError, error);
        }
    }

    // The helper's word on a learn moment.
    learnChanged(event) {
        this.learning.changed(event);
    }

    // A button event from the helper: the pressed buttons light up for a
    // moment; while the page asks for a press, the press answers.
    highlight(event) {
        if (event.device !== this.state.device) return;
        if (this.asking !== null) this.learning.take(event);
        if (event.pressed) this.light(event.pressed);
    }

    light(pressed) {
        this.drawing.mark("pressed", pressed, true);
        setTimeout(() => this.drawing.mark("pressed", pressed, false), HIGHLIGHT_MS);
        for (const [mask, row] of this.rows) {
            if (((mask & pressed) >>> 0) === mask && !isChord(mask)) {
                row.classList.add("pressed");
                row.scrollIntoView({ block: "nearest" });
                setTimeout(() => row.classList.remove("pressed"), HIGHLIGHT_MS);
            }
        }
    }
}
