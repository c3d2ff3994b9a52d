// The profile's snippets: texts that a button types or offers in the snippet
// menu. The helper keeps a fixed number of slots and snippet actions name
// theirs by its index, so the list shows the slots in use under their own
// numbers: removing one empties its slot, adding takes the first free one.
import { api } from "../api.js";
import { el, field, errorLine, saving } from "../dom.js";
import { typedOverFresh } from "../settings.js";
import { record } from "../undo.js";

const inUse = (snippet) => snippet.label !== "" || snippet.content !== "";

export class SnippetsView {
    constructor(root, state) {
        this.state = state;
        this.slots = [];
        this.list = el("ol", { class: "snippets" });
        this.error = errorLine();
        this.adder = el("button", { type: "button", class: "add-snippet", text: "Add a snippet",
            onclick: () => this.addSlot() });
        this.full = el("p", { class: "hint", role: "status" });
        this.none = el("p", { class: "empty", text: "This profile has no snippets yet." });
        this.form = el("form", { "aria-label": "Snippets" }, [this.none, this.list, this.full, this.error,
            el("div", { class: "actions" }, [this.adder, el("button", { type: "submit", text: "Save snippets" })])]);
        this.form.addEventListener("submit", (event) => {
            event.preventDefault();
            saving(this.form, this.error, () => this.store(this.values()));
        });
        root.replaceChildren(this.form);
    }

    // keepTyped: what the person changed and did not save stays as typed.
    async load({ keepTyped = false } = {}) {
        if (this.state.device === null) return;
        const saved = await api.snippets(this.state.device, this.state.app);
        const shown = keepTyped && this.saved ? typedOverFresh(this.values(), this.saved, saved) : saved;
        this.saved = saved;
        this.show(shown);
    }

    show(snippets) {
        this.slots = snippets.map((snippet) => ({ ...snippet, shown: inUse(snippet), entry: null }));
        this.list.replaceChildren(...this.slots.flatMap((slot, index) => (slot.shown ? [this.entry(index)] : [])));
        this.updateAdder();
    }

    entry(index) {
        const slot = this.slots[index];
        const label = el("input", { type: "text", name: `snippet-label-${index}`, value: slot.label });
        const content = el("textarea", { name: `snippet-content-${index}`, rows: 2, text: slot.content });
        const item = el("li", { value: index + 1, "data-slot": index }, [
            field(`Snippet ${index + 1}: label`, label), field(`Snippet ${index + 1}: text`, content),
            el("button", { type: "button", class: "danger", text: "Remove", "aria-label": `Remove snippet ${index + 1}`,
                onclick: () => this.removeSlot(index) })]);
        slot.entry = { item, label, content };
        return item;
    }

    addSlot() {
        const index = this.slots.findIndex((slot) => !slot.shown);
        if (index < 0) return;
        this.slots[index] = { label: "", content: "", shown: true, entry: null };
        const item = this.entry(index);
        const next = this.slots.slice(index + 1).find((slot) => slot.shown)?.entry.item ?? null;
        this.list.insertBefore(item, next);
        this.updateAdder();
        this.slots[index].entry.label.focus();
    }

    removeSlot(index) {
        this.slots[index].entry.item.remove();
        this.slots[index] = { label: "", content: "", shown: false, entry: null };
        this.updateAdder();
        this.adder.focus();
    }

    updateAdder() {
        const free = this.slots.some((slot) => !slot.shown);
        this.none.hidden = this.slots.some((slot) => slot.shown);
        this.adder.disabled = !free;
        this.full.textContent = free ? "" : `All ${this.slots.length} snippet places are in use; remove one to add another.`;
    }

    values() {
        return this.slots.map(({ entry }) => (entry ? { label: entry.label.value, content: entry.content.value }
            : { label: "", content: "" }));
    }

    async store(values) {
        const { device, app } = this.state;
        const before = this.saved;
        const changed = values.map((snippet, index) => index).filter((index) =>
            values[index].label !== before[index].label || values[index].content !== before[index].content);
        this.saved = await api.setSnippets(device, app, values);
        this.show(this.saved);
        if (changed.length) {
            record(`Snippet ${changed.map((index) => index + 1).join(", ")} (${this.state.profileName()})`,
                () => api.setSnippets(device, app, before));
        }
    }
}
