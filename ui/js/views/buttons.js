// Every button and chord of the trackball with its action in words; a press on
// the trackball highlights its row.
import { api } from "../api.js";
import { el } from "../dom.js";
import { actionInWords, buttonsOf, panMasks } from "../describe.js";
import { ActionEditor } from "../editor.js";

// Shown when the driver does not tell how many buttons the trackball declares.
const DEFAULT_BUTTON_COUNT = 8;
const HIGHLIGHT_MS = 1500;

export class ButtonsView {
    constructor(root, state) {
        this.root = root;
        this.state = state;
        this.rows = new Map();
        this.editorPlace = el("div", { class: "editor-place" });
        this.body = el("tbody");
        this.root.replaceChildren(
            el("p", { class: "hint", text: "Press a button on the trackball to find it in the list." }),
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
        const [actions, capabilities] = await Promise.all([api.buttons(this.state.device, this.state.app),
            api.capabilities(this.state.device)]);
        const count = capabilities?.buttons || DEFAULT_BUTTON_COUNT;
        const masks = new Set([...Array(count).keys()].map((bit) => 2 ** bit));
        for (const key of Object.keys(actions ?? {})) masks.add(Number(key));
        const ordered = [...masks].sort((a, b) => {
            const rank = (mask) => (panMasks.includes(mask) ? 2 : Number.isInteger(Math.log2(mask)) ? 0 : 1);
            return rank(a) - rank(b) || a - b;
        });
        this.rows.clear();
        this.body.replaceChildren(...ordered.map((mask) => this.row(mask, actions?.[String(mask)] ?? null)));
        this.editorPlace.replaceChildren();
    }

    row(mask, action) {
        const words = el("td", { class: "action", text: actionInWords(action) });
        const change = el("button", { type: "button", text: "Change", "aria-label": `Change ${buttonsOf(mask)}` });
        const row = el("tr", { "data-mask": mask }, [el("th", { scope: "row", text: buttonsOf(mask) }), words,
            el("td", {}, change)]);
        change.addEventListener("click", () => this.edit(mask, action, words, change));
        this.rows.set(mask, row);
        return row;
    }

    edit(mask, action, words, opener) {
        const editor = new ActionEditor({
            mask,
            action,
            allowUseGlobal: this.state.app !== "*",
            save: (changed) => api.setButton(this.state.device, this.state.app, mask, changed),
            close: (savedWords) => {
                if (savedWords) words.textContent = savedWords;
                this.editorPlace.replaceChildren();
                opener.focus();
                if (savedWords) this.load().then(() => this.rows.get(mask)?.querySelector("button")?.focus());
            },
        });
        this.editorPlace.replaceChildren(editor.form);
        editor.kind.focus();
    }

    // A button event from the helper: the pressed buttons light up for a moment.
    highlight({ device, pressed }) {
        if (device !== this.state.device || !pressed) return;
        for (const [mask, row] of this.rows) {
            if ((mask & pressed) === mask && Number.isInteger(Math.log2(mask))) {
                row.classList.add("pressed");
                row.scrollIntoView({ block: "nearest" });
                setTimeout(() => row.classList.remove("pressed"), HIGHLIGHT_MS);
            }
        }
    }
}
