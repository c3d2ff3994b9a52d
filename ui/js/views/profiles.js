// Profiles: a bar of the global one and one per program, with the programs'
// icons; add (as the helper makes a profile, or as a full copy of the global
// one), rename, remove. Each change can be undone.
import { api } from "../api.js";
import { el, field, errorLine, saving, showError } from "../dom.js";
import { GLOBAL } from "../settings.js";
import { record } from "../undo.js";

// The helper lists icons only with the programs that have no profile yet, so
// the page keeps the icons it was shown (its origin's storage, bounded).
const iconKey = "obx-program-icons";
const ICONS_KEPT = 64;
const ICON_LENGTH = 64 * 1024;
const identifierOf = (path) => path.replace(/[A-Z]/g, (letter) => letter.toLowerCase());

function keptIcons() {
    try {
        const icons = JSON.parse(window.localStorage.getItem(iconKey) ?? "{}");
        return icons && typeof icons === "object" && !Array.isArray(icons) ? icons : {};
    } catch {
        return {};
    }
}

function keepIcons(programs) {
    const icons = keptIcons();
    for (const { program, icon } of programs) {
        const identifier = identifierOf(program);
        delete icons[identifier];
        if (typeof icon === "string" && icon.length <= ICON_LENGTH) icons[identifier] = icon;
    }
    const newest = Object.entries(icons).slice(-ICONS_KEPT);
    window.localStorage.setItem(iconKey, JSON.stringify(Object.fromEntries(newest)));
}

function programIcon(icon, name) {
    return icon ? el("img", { class: "icon", src: `data:image/png;base64,${icon}`, alt: "", width: 24, height: 24 })
        : el("span", { class: "icon monogram", "aria-hidden": "true", text: (name.trim()[0] ?? "?").toUpperCase() });
}

export class ProfilesView {
    constructor(root, state) {
        this.root = root;
        this.state = state;
        this.bar = el("ul", { class: "profile-bar" });
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
            saving(this.renameForm, this.renameError, () => this.rename(this.newName.value.trim()));
        });
        const from = (value, text, checked) => el("label", { class: "choice" }, [
            el("input", { type: "radio", name: "newProfileFrom", value, checked }), el("span", { text })]);
        this.startsAs = el("fieldset", { class: "starts-as" }, [el("legend", { text: "A new profile starts" }),
            from("helper", "with the global pointer and scrolling and plain clicks (as the helper makes it)", true),
            from("global", "as a full copy of the global profile", false)]);
        this.offers = el("ul", { class: "offers", "aria-label": "Programs to add" });
        this.offerError = errorLine();
        this.path = el("input", { type: "text", name: "programPath", required: true, placeholder: "/usr/bin/sketcher" });
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
            el("nav", { "aria-label": "Profiles" }, this.bar), this.renameForm,
            el("h3", { text: "Add a program" }), this.startsAs,
            el("p", { class: "hint", text: "Running and installed programs without a profile:" }),
            this.offers, this.offerError,
            el("h3", { text: "Or name a program by its path" }), this.pathForm);
    }

    async load({ keepTyped = false } = {}) {
        if (this.state.device === null) return;
        const { apps } = await api.apps(this.state.device);
        const profiles = apps.map((entry) => Object.entries(entry)[0]);
        // The global one first, then the programs by name.
        profiles.sort(([a, aName], [b, bName]) => Number(b === GLOBAL) - Number(a === GLOBAL) || aName.localeCompare(bName));
        const nameBefore = this.state.names.get(this.state.app);
        this.state.names = new Map(profiles);
        if (!profiles.some(([identifier]) => identifier === this.state.app)) {
            this.state.chooseApp(GLOBAL, "replace");
            return;
        }
        const icons = keptIcons();
        this.bar.replaceChildren(...profiles.map(([identifier, name]) => {
            const global = identifier === GLOBAL;
            const chosen = identifier === this.state.app;
            return el("li", {}, el("button", { type: "button", class: "profile", "data-app": identifier,
                "aria-pressed": String(chosen), title: global ? "Every program without a profile of its own" : identifier,
                onclick: () => this.state.chooseApp(identifier) }, [
                global ? el("span", { class: "icon monogram", "aria-hidden": "true", text: "∗" })
                    : programIcon(icons[identifier], name),
                el("span", { class: "profile-name", text: global ? "Every program (global)" : name }),
            ]));
        }));
        const typed = this.newName.value.trim();
        const kept = keepTyped && nameBefore !== undefined && typed !== nameBefore;
        if (!kept) this.newName.value = this.state.names.get(this.state.app) ?? "";
        this.renameForm.hidden = this.state.app === GLOBAL;
        await this.loadOffers();
    }

    async loadOffers() {
        showError(this.offerError, null);
        try {
            const offered = await api.favapps(this.state.device, 12);
            keepIcons(offered);
            this.offers.replaceChildren(...offered.map((program) => el("li", {}, [
                el("button", { type: "button", class: "offer", onclick: () => this.addOffer(program) }, [
                    programIcon(program.icon, program.name), el("span", { text: `Add ${program.name}` }),
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

    async add(path, name) {
        const { device } = this.state;
        const fromGlobal = this.startsAs.querySelector("input:checked")?.value === "global";
        await api.addApp(device, path, name, fromGlobal);
        const identifier = identifierOf(path);
        record(`New profile ${name}`, () => api.removeApp(device, identifier));
        this.state.chooseApp(identifier);
    }

    async rename(name) {
        const { device, app } = this.state;
        const before = this.state.names.get(app);
        await api.renameApp(device, app, name);
        record(`Name ${before} → ${name}`, () => api.renameApp(device, app, before));
        await this.load();
    }

    async remove() {
        const { device, app } = this.state;
        const name = this.state.names.get(app);
        if (app === GLOBAL || !window.confirm(`Remove the profile of ${name}?`)) return;
        await saving(this.renameForm, this.renameError, async () => {
            // The whole settings as they were, to bring the profile back whole.
            const before = await api.settings();
            await api.removeApp(device, app);
            record(`Removal of the profile ${name}`, () => api.replaceSettings(JSON.stringify(before)));
            this.state.chooseApp(GLOBAL);
        });
    }
}
