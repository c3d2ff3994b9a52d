// How a program's profile differs from the global one, and the mark that shows
// it. Any view marks its rows the same way: the row gets data-differs="global"
// and a "Use global" button that restores the global value, so the person sees
// at a glance what this profile holds of its own.
import { el } from "./dom.js";

export const GLOBAL = "*";

const canonical = (value) => JSON.stringify(value ?? null, (key, inner) =>
    inner && typeof inner === "object" && !Array.isArray(inner)
        ? Object.fromEntries(Object.entries(inner).sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0)))
        : inner);

// True when a program's profile holds a value of its own: a setting, or a
// button's action (an action "useGlobal" holds none, whatever the global one is).
export function differsFromGlobal(value, globalValue) {
    if (value && typeof value === "object" && value.command === "useGlobal") return false;
    return canonical(value) !== canonical(globalValue);
}

// What a form shows after a reload that keeps what was typed (the settings
// changed elsewhere and its save was refused): the values read afresh, but the
// person's own changes, where what is typed differs from what was read before,
// as typed. Objects by key, arrays by index.
export function typedOverFresh(typed, before, fresh) {
    const merged = Array.isArray(fresh) ? [...fresh] : { ...fresh };
    for (const key of Object.keys(typed)) {
        if (canonical(typed[key]) !== canonical(before?.[key])) merged[key] = typed[key];
    }
    return merged;
}

// Marks row as differing from the global profile, or takes the mark away.
// what: the setting in words ("Speed"); globalInWords: the global value in words;
// restore: an async function that saves the global value for this setting.
export function markDiffering(row, differs, { what, globalInWords, restore }) {
    row.querySelector(":scope > .use-global")?.remove();
    if (!differs) {
        row.removeAttribute("data-differs");
        return;
    }
    row.setAttribute("data-differs", "global");
    row.append(el("button", { type: "button", class: "use-global", text: `Use global (${globalInWords})`,
        "aria-label": `Use global (${globalInWords}) for ${what.toLowerCase()}`, onclick: restore }));
}
