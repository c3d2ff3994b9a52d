// The trackball on screen: the ball, its buttons around it, the wheel and the
// pan when the descriptor declares them, and the chords as lines between their
// buttons. Our own plain drawing: a model of the table below has its buttons
// where that model has them, any other trackball gets an arrangement made from
// its number of buttons. Each button is a control (one stop of the Tab key for
// the whole drawing, the arrow keys go from button to button).
import { actionInWords, buttonsOf, panMasks } from "../describe.js";

const SVG = "http://www.w3.org/2000/svg";
const WIDTH = 760;
const HEIGHT = 420;
const CENTRE = { x: WIDTH / 2, y: HEIGHT / 2 + 10 };
const BALL_RADIUS = 80;
const RING_RADIUS = 98;
const BUTTON_ORBIT = 150;
const BUTTON_RADIUS = 24;
// The words of the buttons stand in a column on either side, each at the height of its button.
const WORDS_COLUMN = 195;
const WORDS_LENGTH = 22;
const [PAN_LEFT, PAN_RIGHT] = panMasks;

// The angle of each button around the ball (degrees, 0 to the right, 90 at
// the top), by the model's configuration id. Neutral labels alone.
const modelLayouts = new Map([
    [0x0f21, { label: "Model 0F21", angles: [215, 325, 90, 150, 30] }],
    [0x0f22, { label: "Model 0F22", angles: [220, 320, 90, 145, 35] }],
    [0x0f23, { label: "Model 0F23", angles: [220, 320, 90, 160, 20, 125, 55, 270] }],
]);

// Any other trackball: the first two buttons below the ball on either side,
// the others over the top from left to right.
function arrangedAngles(count) {
    const angles = [215, 325].slice(0, count);
    const rest = count - angles.length;
    for (let index = 0; index < rest; index++) {
        angles.push(rest === 1 ? 90 : 165 - (150 * index) / (rest - 1));
    }
    return angles;
}

function at(angle, radius) {
    const radians = (angle * Math.PI) / 180;
    return { x: CENTRE.x + radius * Math.cos(radians), y: CENTRE.y - radius * Math.sin(radians) };
}

function svg(tag, attributes = {}, children = []) {
    const element = document.createElementNS(SVG, tag);
    for (const [name, value] of Object.entries(attributes)) element.setAttribute(name, String(value));
    element.append(...children);
    return element;
}

function text(x, y, content, attributes = {}) {
    const element = svg("text", { x, y, ...attributes });
    element.textContent = content;
    return element;
}

function shortened(words) {
    return words.length > WORDS_LENGTH ? `${words.slice(0, WORDS_LENGTH - 1)}…` : words;
}

const singleBits = (mask) => [...Array(30).keys()].filter((bit) => mask & (1 << bit));

export class TrackballDrawing {
    // onChoose(mask): a button of the drawing was clicked or chosen with the keyboard.
    constructor({ onChoose }) {
        this.onChoose = onChoose;
        this.controls = new Map();
        this.centres = new Map();
        this.element = svg("svg", { class: "trackball", viewBox: `0 0 ${WIDTH} ${HEIGHT}`, role: "group" });
        this.element.addEventListener("keydown", (event) => this.moveFocus(event));
    }

    // masks: the buttons to draw, each with its action (null for none).
    draw({ model, capabilities, count, actions }) {
        const layout = modelLayouts.get(model);
        const angles = layout && layout.angles.length >= count ? layout.angles : arrangedAngles(count);
        const name = layout ? layout.label : `Trackball with ${count} buttons`;
        this.element.setAttribute("aria-label", `${name}: its buttons, as placed on the trackball`);
        this.controls.clear();
        this.centres.clear();
        const actionOf = (mask) => actions.get(mask) ?? null;
        const parts = [svg("circle", { class: "ball", cx: CENTRE.x, cy: CENTRE.y, r: BALL_RADIUS, "aria-hidden": "true" })];
        // The parts are named inside the ball, where no button stands.
        parts.push(text(CENTRE.x, CENTRE.y, "ball", { class: "part-name", "aria-hidden": "true" }));
        if (capabilities.wheel) {
            parts.push(svg("circle", { class: "wheel", cx: CENTRE.x, cy: CENTRE.y, r: RING_RADIUS, "aria-hidden": "true" }),
                text(CENTRE.x, CENTRE.y + 20, "wheel round it", { class: "part-name", "aria-hidden": "true" }));
        }
        const buttons = angles.slice(0, count).map((angle, index) => {
            const mask = 2 ** index;
            this.centres.set(mask, at(angle, BUTTON_ORBIT));
            return this.button(mask, angle, actionOf(mask));
        });
        if (capabilities.pan) {
            buttons.push(this.panControl(PAN_LEFT, -1, actionOf(PAN_LEFT)), this.panControl(PAN_RIGHT, 1, actionOf(PAN_RIGHT)));
        }
        const chords = [...actions].filter(([mask, action]) => singleBits(mask).length > 1 && action
            && singleBits(mask).every((bit) => this.centres.has(2 ** bit))).map(([mask, action]) => this.chord(mask, action));
        this.element.replaceChildren(...parts, ...chords, ...buttons);
        const first = this.controls.values().next().value;
        if (first) first.setAttribute("tabindex", "0");
    }

    control(mask, action, parts) {
        const label = `${buttonsOf(mask)}: ${actionInWords(action)}`;
        // Spaces between the parts, so that the words drawn read as words of the name ("1 Left click").
        const control = svg("g", { class: "control", role: "button", tabindex: "-1", "data-mask": mask,
            "aria-label": label }, [svg("title", {}, [label]), ...parts.flatMap((part) => [" ", part])]);
        control.addEventListener("click", () => this.onChoose(mask));
        this.controls.set(mask, control);
        return control;
    }

    button(mask, angle, action) {
        const { x, y } = this.centres.get(mask);
        const side = Math.cos((angle * Math.PI) / 180);
        const shape = svg("circle", { class: "key", cx: x, cy: y, r: BUTTON_RADIUS });
        const number = text(x, y + 6, String(Math.log2(mask) + 1), { class: "number" });
        if (Math.abs(side) < 0.05) {
            const above = y < CENTRE.y;
            return this.control(mask, action, [shape, number, this.words(action, x, above ? y - BUTTON_RADIUS - 10
                : y + BUTTON_RADIUS + 20, "middle")]);
        }
        const direction = Math.sign(side);
        const column = CENTRE.x + direction * WORDS_COLUMN;
        const leader = svg("line", { class: "leader", x1: x + direction * BUTTON_RADIUS, y1: y,
            x2: column - direction * 4, y2: y, "aria-hidden": "true" });
        return this.control(mask, action, [leader, shape, number,
            this.words(action, column, y + 5, direction > 0 ? "start" : "end")]);
    }

    words(action, x, y, anchor) {
        return text(x, y, shortened(actionInWords(action)), { class: "words", "text-anchor": anchor });
    }

    // A side of the pan control: an arrow beside the ring.
    panControl(mask, side, action) {
        const x = CENTRE.x + side * (RING_RADIUS + 10);
        const tip = x + side * 26;
        const y = CENTRE.y;
        return this.control(mask, action, [
            svg("polygon", { class: "key", points: `${x},${y - 16} ${tip},${y} ${x},${y + 16}` }),
            text(x + side * 9, y + 5, side < 0 ? "◀" : "▶", { class: "number", "aria-hidden": "true" }),
            this.words(action, CENTRE.x + side * WORDS_COLUMN, y + 5, side < 0 ? "end" : "start")]);
    }

    // A chord: a line through its buttons, named by its title.
    chord(mask, action) {
        const points = singleBits(mask).map((bit) => this.centres.get(2 ** bit)).map(({ x, y }) => `${x},${y}`);
        return svg("polyline", { class: "chord", "data-mask": mask, points: points.join(" ") },
            [svg("title", {}, [`${buttonsOf(mask)}: ${actionInWords(action)}`])]);
    }

    moveFocus(event) {
        const controls = [...this.controls.values()];
        const index = controls.indexOf(event.target.closest?.(".control"));
        if (index < 0) return;
        if (event.key === "Enter" || event.key === " ") {
            event.preventDefault();
            this.onChoose(Number(controls[index].dataset.mask));
            return;
        }
        const step = { ArrowRight: 1, ArrowDown: 1, ArrowLeft: -1, ArrowUp: -1 }[event.key];
        const next = { Home: 0, End: controls.length - 1 }[event.key]
            ?? (step === undefined ? undefined : (index + step + controls.length) % controls.length);
        if (next === undefined) return;
        event.preventDefault();
        controls[index].setAttribute("tabindex", "-1");
        controls[next].setAttribute("tabindex", "0");
        controls[next].focus();
    }

    // The buttons a press lit, or those picked for a chord.
    mark(className, mask, on) {
        for (const [bit, control] of this.controls) {
            if (mask & bit) control.classList.toggle(className, on);
        }
    }

    // While buttons are picked for a chord, the buttons are toggles.
    showPicking(picked) {
        for (const [bit, control] of this.controls) {
            if (picked === null || panMasks.includes(bit)) control.removeAttribute("aria-pressed");
            else control.setAttribute("aria-pressed", String((picked & bit) !== 0));
        }
    }
}
