// Pointer and scroll settings: each a small form saved as a whole. In a
// program's profile each setting that differs from the global one is marked,
// with the global value one click away; every save can be undone.
import { api } from "../api.js";
import { el, field, errorLine, saving } from "../dom.js";
import { modifierNames, parseModifiers } from "../keys.js";
import { GLOBAL, differsFromGlobal, markDiffering, typedOverFresh } from "../settings.js";
import { record } from "../undo.js";

const modifierLabels = { alt: "Alt", ctrl: "Ctrl", shift: "Shift", win: "Super" };

function modifierBoxes(legend, name) {
    const boxes = modifierNames.map((modifier) => el("input", { type: "checkbox", name: `${name}-${modifier}`, value: modifier }));
    const group = el("fieldset", { class: "modifiers" }, [el("legend", { text: legend }),
        ...boxes.map((box) => field(modifierLabels[box.value], box))]);
    return {
        group,
        set: (text) => boxes.forEach((box) => { box.checked = parseModifiers(text).includes(box.value); }),
        text: () => boxes.filter((box) => box.checked).map((box) => box.value).join(","),
    };
}

const onOff = (value) => (value ? "on" : "off");
const modifiersInWords = (text) => parseModifiers(text).map((name) => modifierLabels[name]).join("+") || "none";

// One setting of a form: what it is in words, its row, its value in words.
const setting = (what, row, words) => ({ what, row, words });

// settings: a setting for each key the form saves, shown in that order between
// the controls before and after them.
class SettingsForm {
    constructor(root, state, label, settings, { before = [], after = [] }) {
        this.state = state;
        this.label = label;
        this.settings = settings;
        this.error = errorLine();
        const rows = Object.values(settings).map(({ row }) => row);
        this.form = el("form", { "aria-label": label }, [...before, ...rows, ...after, this.error,
            el("button", { type: "submit", text: `Save ${label.toLowerCase()}` })]);
        this.form.addEventListener("submit", (event) => {
            event.preventDefault();
            if (!this.form.reportValidity()) return;
            saving(this.form, this.error, () => this.store(this.values()));
        });
        root.replaceChildren(this.form);
    }

    // keepTyped: what the person changed and did not save stays as typed.
    async load({ keepTyped = false } = {}) {
        const { device, app } = this.state;
        if (device === null) return;
        const [own, global] = await Promise.all([this.read(device, app),
            app === GLOBAL ? null : this.read(device, GLOBAL)]);
        this.global = global;
        const typed = keepTyped && this.shown ? typedOverFresh(this.values(), this.saved(), own) : own;
        this.show(own);
        this.fill(typed);
    }

    show(settings) {
        this.shown = settings;
        this.fill(settings);
        for (const [key, { what, row, words }] of Object.entries(this.settings)) {
            const differs = this.global !== null && differsFromGlobal(settings[key], this.global[key]);
            markDiffering(row, differs, { what, globalInWords: differs ? words(this.global[key]) : "",
                restore: () => saving(this.form, this.error, () => this.store({ ...this.saved(), [key]: this.global[key] })) });
        }
    }

    // The settings as saved, in the form this form writes them.
    saved() {
        return Object.fromEntries(Object.keys(this.settings).map((key) => [key, this.shown[key]]));
    }

    async store(values) {
        const { device, app } = this.state;
        const before = this.saved();
        const changes = Object.entries(this.settings).filter(([key]) => differsFromGlobal(values[key], before[key]))
            .map(([key, { what, words }]) => `${what} ${words(before[key])} → ${words(values[key])}`);
        this.show(await this.write(device, app, values));
        if (changes.length) {
            record(`${changes.join(", ")} (${this.state.profileName()})`, () => this.write(device, app, before));
        }
    }
}

export class PointerView extends SettingsForm {
    constructor(root, state) {
        const speed = el("input", { type: "range", name: "speed", min: 1, max: 100 });
        const speedNumber = el("input", { type: "number", name: "speedNumber", min: 1, max: 100, required: true });
        speed.addEventListener("input", () => { speedNumber.value = speed.value; });
        speedNumber.addEventListener("input", () => { speed.value = speedNumber.value; });
        const acceleration = el("input", { type: "checkbox", name: "acceleration" });
        const rate = el("input", { type: "number", name: "accelerationRate", min: 0, max: 100, required: true });
        const slow = modifierBoxes("Slow pointer while holding", "slow");
        const locked = modifierBoxes("Move along one axis while holding", "locked");
        super(root, state, "Pointer", {
            speed: setting("Pointer speed", field("Speed", speedNumber), String),
            acceleration: setting("Acceleration", field("Acceleration", acceleration), onOff),
            accelerationRate: setting("Acceleration strength", field("Acceleration strength", rate), String),
            slowModifiers: setting("Slow pointer keys", slow.group, modifiersInWords),
            lockedAxisModifiers: setting("One axis keys", locked.group, modifiersInWords),
        }, { before: [field("Speed (slider)", speed)] });
        Object.assign(this, { speed, speedNumber, acceleration, rate, slow, locked });
    }

    read(device, app) { return api.pointer(device, app); }
    write(device, app, values) { return api.setPointer(device, app, values); }

    fill(settings) {
        this.speed.value = this.speedNumber.value = settings.speed;
        this.acceleration.checked = settings.acceleration;
        this.rate.value = settings.accelerationRate;
        this.slow.set(settings.slowModifiers);
        this.locked.set(settings.lockedAxisModifiers);
    }

    values() {
        return { speed: Number(this.speedNumber.value), acceleration: this.acceleration.checked,
            accelerationRate: Number(this.rate.value), slowModifiers: this.slow.text(),
            lockedAxisModifiers: this.locked.text() };
    }
}

export class ScrollView extends SettingsForm {
    constructor(root, state) {
        const speed = el("input", { type: "number", name: "scrollSpeed", min: 1, max: 100, required: true });
        const invert = el("input", { type: "checkbox", name: "invert" });
        const inertial = el("input", { type: "checkbox", name: "inertial" });
        const wheel = el("output", { name: "wheel" });
        super(root, state, "Scrolling", {
            speed: setting("Lines per wheel step", field("Lines per wheel step", speed), String),
            invert: setting("Inverted scrolling", field("Invert direction", invert), onOff),
            inertial: setting("Scrolling inertia", field("Keep scrolling after a flick (inertia)", inertial), onOff),
        }, { after: [field("Wheel", wheel)] });
        Object.assign(this, { speedInput: speed, invert, inertial, wheel });
    }

    read(device, app) { return api.scroll(device, app); }
    write(device, app, values) { return api.setScroll(device, app, values); }

    fill(settings) {
        this.speedInput.value = settings.speed;
        this.invert.checked = settings.invert;
        this.inertial.checked = settings.inertial;
        this.wheel.value = settings.wheel === "vert" ? "Vertical wheel" : settings.wheel;
    }

    values() {
        return { speed: Number(this.speedInput.value), invert: this.invert.checked, inertial: this.inertial.checked };
    }
}
