// Export and import of the whole settings document.
import { api } from "../api.js";
import { el, field, errorLine, saving } from "../dom.js";
import { record } from "../undo.js";

export class TransferView {
    constructor(root, onImported) {
        this.error = errorLine();
        this.done = el("p", { class: "done", role: "status" });
        this.file = el("input", { type: "file", name: "settingsFile", accept: ".json,application/json", required: true });
        this.form = el("form", { "aria-label": "Import settings" }, [field("Settings file to import", this.file),
            el("button", { type: "submit", text: "Import" }), this.error, this.done]);
        this.form.addEventListener("submit", (event) => {
            event.preventDefault();
            this.done.textContent = "";
            const [chosen] = this.file.files;
            if (!chosen) return;
            saving(this.form, this.error, async () => {
                const before = await api.settings();
                await api.replaceSettings(await chosen.text(), { unconditional: true });
                record(`Import of ${chosen.name}`, () => api.replaceSettings(JSON.stringify(before)));
                this.done.textContent = "Settings imported.";
                await onImported();
            });
        });
        this.exportError = errorLine();
        const exporter = el("button", { type: "button", text: "Export settings", onclick: () => this.export() });
        root.replaceChildren(exporter, this.exportError, this.form);
    }

    async export() {
        try {
            const settings = await api.settings();
            const blob = new Blob([`${JSON.stringify(settings, null, 2)}\n`], { type: "application/json" });
            const link = el("a", { href: URL.createObjectURL(blob), download: "obx-settings.json" });
            document.body.append(link);
            link.click();
            link.remove();
            setTimeout(() => URL.revokeObjectURL(link.href), 10000);
            this.exportError.hidden = true;
        } catch (error) {
            this.exportError.textContent = error.message;
            this.exportError.hidden = false;
        }
    }
}
