#pragma once

// The one QApplication of a widget test program (offscreen platform), made on
// first use and kept for the whole program. Every call also points the XDG
// config, state and cache folders at fresh folders of the test process, so
// no test reads the user's settings or session, or what an earlier test left.
void ensureTestApp();

// Points the XDG data, config, state and cache folders all at `folder`, for
// a test that looks at what the program keeps there.
void useUserFolder(const char* folder);
