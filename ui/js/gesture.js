// The fields of a gesture (docs/gestures.md): how the ball's travel is read,
// and an action for each direction, wheel and pan notch and a tap. The
// actions are the action editor's own fields, handed in by makeFields, so a
// gesture offers every kind the editor does but a gesture.
import { el, field } from "./dom.js";
import { gestureMoves } from "./describe.js";

const gestureModes = [
    ["once", "Once, on release: the direction the ball went furthest"],
    ["repeat", "Repeated while held: a step each time the ball goes another distance"],
    ["none", "Not by the ball: it moves the pointer as usual (wheel, pan and tap only)"],
];
const ballPlaces = ["up", "down", "left", "right"];
const labelled = ([place, words]) => [place, `${words[0].toUpperCase()}${words.slice(1)}`];
const ballDirections = gestureMoves.filter(([place]) => ballPlaces.includes(place)).map(labelled);
const otherMoves = gestureMoves.filter(([place]) => !ballPlaces.includes(place)).map(labelled);
const DEFAULT_THRESHOLD = 200;
const THRESHOLD_RANGE = [10, 2000];

export class GestureFields {
    // makeFields(action, place): the fields of one nested action.
    constructor(gesture, makeFields) {
        this.mode = el("select", { name: "gesture-mode" }, gestureModes.map(([value, text]) =>
            el("option", { value, text, selected: value === (gesture?.mode ?? "once") })));
        this.threshold = el("input", { type: "number", name: "gesture-threshold", min: THRESHOLD_RANGE[0],
            max: THRESHOLD_RANGE[1], step: 1, value: gesture?.threshold ?? DEFAULT_THRESHOLD });
        const part = ([place, label]) => {
            const fields = makeFields(gesture?.[place] ?? null, place);
            return { place, label, fields,
                element: el("fieldset", { class: "gesture-move", "data-place": place }, [el("legend", { text: label }),
                    fields.element]) };
        };
        this.ballParts = ballDirections.map(part);
        this.otherParts = otherMoves.map(part);
        this.ball = el("div", { class: "gesture-ball" }, this.ballParts.map((p) => p.element));
        // The distance tells a tap as well: a release before the ball went that far.
        this.element = el("div", { class: "gesture" }, [field("The ball while held", this.mode),
            field("Distance of a step (ball counts, 10 to 2000)", this.threshold), this.ball,
            ...this.otherParts.map((p) => p.element)]);
        this.mode.addEventListener("change", () => this.showBall());
        this.showBall();
    }

    showBall() {
        this.ball.hidden = this.mode.value === "none";
    }

    // The gesture's fields: "No action" leaves a direction out, so that it
    // does what the button does without a gesture.
    fields() {
        const threshold = Number(this.threshold.value);
        if (!Number.isInteger(threshold) || threshold < THRESHOLD_RANGE[0] || threshold > THRESHOLD_RANGE[1]) {
            throw new Error(`The distance of a step is a whole number from ${THRESHOLD_RANGE[0]} to ${THRESHOLD_RANGE[1]}.`);
        }
        const mode = this.mode.value;
        const parts = mode === "none" ? this.otherParts : [...this.ballParts, ...this.otherParts];
        const gesture = { mode, threshold };
        let given = 0;
        for (const { place, label, fields } of parts) {
            let action;
            try {
                action = fields.action();
            } catch (error) {
                throw new Error(`${label}: ${error.message}`);
            }
            if (action.command === "none") continue;
            gesture[place] = action;
            given += 1;
        }
        if (given === 0) {
            throw new Error("Give the gesture an action for at least one move of the ball, the wheel, the pan or a tap.");
        }
        return gesture;
    }
}
