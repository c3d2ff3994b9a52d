// Small helpers for building the page's elements without markup strings, so no
// text from the helper is ever read as HTML.

export function el(tag, attributes = {}, children = []) {
    const element = document.createElement(tag);
    for (const [name, value] of Object.entries(attributes)) {
        if (value === false || value === undefined || value === null) continue;
        if (name === "text") element.textContent = value;
        else if (name.startsWith("on")) element.addEventListener(name.slice(2), value);
        else element.setAttribute(name, value === true ? "" : String(value));
    }
    element.append(...[].concat(children).filter((child) => child !== null && child !== undefined));
    return element;
}

let nextId = 0;
export function uniqueId(stem) {
    nextId += 1;
    return `${stem}-${nextId}`;
}

// A labelled control: the label names it for everyone, screen readers included.
export function field(labelText, control) {
    if (!control.id) control.id = uniqueId("field");
    return el("div", { class: "field" }, [el("label", { for: control.id, text: labelText }), control]);
}

// Where a form tells what went wrong; announced when it changes.
export function errorLine() {
    return el("p", { class: "error", role: "alert", hidden: true });
}

export function showError(line, error) {
    line.textContent = error ? error.message : "";
    line.hidden = !error;
}

// Runs a save; a failure is shown in the form's error line and the form keeps
// everything that was typed.
export async function saving(form, line, work) {
    showError(line, null);
    form.setAttribute("aria-busy", "true");
    try {
        await work();
        return true;
    } catch (error) {
        showError(line, error);
        return false;
    } finally {
        form.removeAttribute("aria-busy");
    }
}
