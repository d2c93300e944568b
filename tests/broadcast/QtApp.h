#pragma once

// The test program's one QApplication (offscreen), made on first use.
void EnsureQtApp();
