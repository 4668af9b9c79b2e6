// A modal message box with an OK button.
#pragma once

namespace kestrune {

// Shows the message and waits for OK. Where nobody can answer (no video driver, or the offscreen
// and dummy drivers of headless runs) the message goes to the standard error stream instead,
// so an unattended run never blocks on it.
void showMessageBox(const char* title, const char* text);

} // namespace kestrune
