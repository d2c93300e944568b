#pragma once

// The one QApplication of a widget test program (offscreen platform), made on
// first use and kept for the whole program.
void EnsureTestApp();
