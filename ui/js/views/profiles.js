// Profiles: the global one and one per program; add, rename, remove.
import { api } from "../api.js";
import { el, field, errorLine, saving, showError } from "../dom.js";
import { renameProfile } from "../settings.js";

const GLOBAL = "*";

export class ProfilesView {
    constructor(root, state) {
        this.root = root;
        this.state = state;
        this.choice = el("select", { name: "profile" });
        this.choice.addEventListener("change", () => this.state.chooseApp(this.choice.value));
        this.newName = el("input", { type: "text", name: "profileName", required: true });
        this.renameError = errorLine();
        this.renameForm = el("form", { class: "inline", "aria-label": "Rename the profile" }, [
            field("Name of this profile", this.newName),
            el("button", { type: "submit", text: "Rename" }),
            el("button", { type: "button", class: "danger", text: "Remove this profile", onclick: () => this.remove() }),
            this.renameError,
        ]);
        this.renameForm.addEventListener("submit", (event) => {
            event.preventDefault();
            saving(this.renameForm, this.renameError, async () => {
                await renameProfile(this.state.device, this.state.app, this.newName.value.trim());
                await this.load();
            });
        });
        this.offers = el("ul", { class: "offers", "aria-label": "Programs to add" });
        this.offerError = errorLine();
        this.path = el("input", { type: "text", name: "programPath", required: true, placeholder: "/usr/bin/gimp" });
        this.pathName = el("input", { type: "text", name: "programName", required: true });
        this.pathError = errorLine();
        this.pathForm = el("form", { class: "inline", "aria-label": "Add a program by its path" }, [
            field("Program path", this.path), field("Name", this.pathName),
            el("button", { type: "submit", text: "Add program" }), this.pathError,
        ]);
        this.pathForm.addEventListener("submit", (event) => {
            event.preventDefault();
            saving(this.pathForm, this.pathError, () => this.add(this.path.value.trim(), this.pathName.value.trim()))
                .then((added) => added && this.pathForm.reset());
        });
        this.root.replaceChildren(
            field("Profile", this.choice), this.renameForm,
            el("h3", { text: "Add a program" }),
            el("p", { class: "hint", text: "Running and installed programs without a profile:" }),
            this.offers, this.offerError,
            el("h3", { text: "Or name a program by its path" }), this.pathForm);
    }

    async load() {
        if (this.state.device === null) return;
        const { apps } = await api.apps(this.state.device);
        const profiles = apps.map((entry) => Object.entries(entry)[0]);
        this.choice.replaceChildren(...profiles.map(([identifier, name]) => el("option", {
            value: identifier, text: identifier === GLOBAL ? "Every program (global)" : `${name} — ${identifier}`,
            selected: identifier === this.state.app,
        })));
        if (!profiles.some(([identifier]) => identifier === this.state.app)) this.state.chooseApp(GLOBAL);
        const current = profiles.find(([identifier]) => identifier === this.state.app);
        this.newName.value = current?.[1] ?? "";
        this.renameForm.hidden = this.state.app === GLOBAL;
        await this.loadOffers();
    }

    async loadOffers() {
        showError(this.offerError, null);
        try {
            const offered = await api.favapps(this.state.device, 12);
            this.offers.replaceChildren(...offered.map((program) => el("li", {}, [
                el("button", { type: "button", class: "offer", onclick: () => this.addOffer(program) }, [
                    el("img", { src: `data:image/png;base64,${program.icon}`, alt: "", width: 24, height: 24 }),
                    el("span", { text: `Add ${program.name}` }),
                ]),
            ])));
            if (!offered.length) this.offers.replaceChildren(el("li", { text: "No other programs found." }));
        } catch (error) {
            showError(this.offerError, error);
        }
    }

    async addOffer(program) {
        await saving(this.offers, this.offerError, () => this.add(program.program, program.name));
    }

    async add(identifier, name) {
        await api.addApp(this.state.device, identifier, name);
        this.state.chooseApp(identifier);
        await this.load();
    }

    async remove() {
        const identifier = this.state.app;
        if (identifier === GLOBAL || !window.confirm(`Remove the profile of ${this.newName.value}?`)) return;
        await saving(this.renameForm, this.renameError, async () => {
            await api.removeApp(this.state.device, identifier);
            this.state.chooseApp(GLOBAL);
            await this.load();
        });
    }
}
