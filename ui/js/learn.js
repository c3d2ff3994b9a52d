// A learn moment: the page asks for a press on the trackball. While it lasts
// every button reaches the page and runs no action; the buttons held together
// make one mask, told once the last of them is let go.
import { api } from "./api.js";

const LEARN_SECONDS = 30;

export class ButtonLearning {
    // onMask(mask): the buttons of one press, all of them let go again.
    // onEnded(): the helper ended the moment (its time ran out).
    constructor({ onMask, onEnded }) {
        this.onMask = onMask;
        this.onEnded = onEnded;
        this.device = null;
    }

    get active() {
        return this.device !== null;
    }

    async start(device) {
        this.held = 0;
        this.together = 0;
        await api.startLearning(device, LEARN_SECONDS);
        this.device = device;
    }

    async end() {
        const device = this.device;
        if (device === null) return;
        this.device = null;
        await api.endLearning(device);
    }

    // A button event; true when the moment took it.
    take({ device, pressed, released }) {
        if (device !== this.device) return false;
        this.held = (this.held | pressed) & ~released;
        this.together |= pressed;
        if (this.held === 0 && this.together !== 0) {
            const mask = this.together >>> 0;
            this.together = 0;
            this.onMask(mask);
        }
        return true;
    }

    // The helper's word on the moment: ended elsewhere or by its time.
    changed({ device, learning }) {
        if (device !== this.device || learning) return;
        this.device = null;
        this.onEnded();
    }
}
