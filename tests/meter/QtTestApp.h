#pragma once

// Creates the one QApplication the widget tests need (offscreen platform),
// on first use, and keeps it for the whole test program.
void EnsureQtApp();
