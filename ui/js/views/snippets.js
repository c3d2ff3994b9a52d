// The profile's snippets: texts that a button types or offers in the snippet menu.
import { api } from "../api.js";
import { el, field, errorLine, saving } from "../dom.js";
import { saveSnippets } from "../settings.js";

export class SnippetsView {
    constructor(root, state) {
        this.state = state;
        this.list = el("ol", { class: "snippets" });
        this.error = errorLine();
        this.form = el("form", { "aria-label": "Snippets" }, [this.list, this.error,
            el("button", { type: "submit", text: "Save snippets" })]);
        this.form.addEventListener("submit", (event) => {
            event.preventDefault();
            saving(this.form, this.error, async () => {
                await saveSnippets(this.state.device, this.state.app, this.values());
                await this.load();
            });
        });
        root.replaceChildren(this.form);
    }

    async load() {
        if (this.state.device === null) return;
        const snippets = await api.snippets(this.state.device, this.state.app);
        this.entries = snippets.map((snippet, slot) => ({
            label: el("input", { type: "text", name: `snippet-label-${slot}`, value: snippet.label }),
            content: el("textarea", { name: `snippet-content-${slot}`, rows: 2, text: snippet.content }),
        }));
        this.list.replaceChildren(...this.entries.map(({ label, content }, slot) => el("li", {}, [
            field(`Snippet ${slot + 1}: label`, label), field(`Snippet ${slot + 1}: text`, content)])));
    }

    values() {
        return this.entries.map(({ label, content }) => ({ label: label.value, content: content.value }));
    }
}
