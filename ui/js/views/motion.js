// Pointer and scroll settings: each a small form saved as a whole.
import { api } from "../api.js";
import { el, field, errorLine, saving } from "../dom.js";
import { modifierNames, parseModifiers } from "../keys.js";

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

class SettingsForm {
    constructor(root, state, label, controls) {
        this.state = state;
        this.error = errorLine();
        this.form = el("form", { "aria-label": label }, [...controls, this.error,
            el("button", { type: "submit", text: `Save ${label.toLowerCase()}` })]);
        this.form.addEventListener("submit", (event) => {
            event.preventDefault();
            if (!this.form.reportValidity()) return;
            saving(this.form, this.error, async () => this.fill(await this.store(this.values())));
        });
        root.replaceChildren(this.form);
    }

    async load() {
        if (this.state.device !== null) this.fill(await this.read());
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
        super(root, state, "Pointer", [field("Speed (slider)", speed), field("Speed", speedNumber),
            field("Acceleration", acceleration), field("Acceleration strength", rate), slow.group, locked.group]);
        Object.assign(this, { speed, speedNumber, acceleration, rate, slow, locked });
    }

    read() { return api.pointer(this.state.device, this.state.app); }
    store(values) { return api.setPointer(this.state.device, this.state.app, values); }

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
        super(root, state, "Scrolling", [field("Lines per wheel step", speed), field("Invert direction", invert),
            field("Keep scrolling after a flick (inertia)", inertial), field("Wheel", wheel)]);
        Object.assign(this, { speedInput: speed, invert, inertial, wheel });
    }

    read() { return api.scroll(this.state.device, this.state.app); }
    store(values) { return api.setScroll(this.state.device, this.state.app, values); }

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
