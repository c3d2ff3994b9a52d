// What the package installs has no interface for the tests.
function exportTestInterface(_bridge) {
    return null;
}
