#pragma once

#include <string>

// A file overwritten in place (where no new file can be made beside it to
// rename over it) is never left empty or half-written by a killed save: a
// complete copy of its old content goes first into a journal in the data
// folder, then the file is overwritten, then the journal is removed. A journal
// still present later belongs to a save that did not finish, and
// RestoreUnfinishedSaves puts the old content back.
//
// A journal is "KVDJOURNAL <target length> <content length>\n", the target's
// path, then its old content. One cut short was never finished, so its target
// was never touched: it is simply removed. A save in progress holds a lock on
// its journal, so another process never restores under it.

// Writes all of data (short and interrupted writes retried), flushes it to
// disk and closes fd (always); true when every step succeeded.
bool writeSyncClose(int fd, const std::string& data);

// The per-user data folder that holds the journals ("<XDG data>/Kolvadeck/").
std::string journalFolder();

// Overwrites `file` in place with `data`, journaling its old content in
// journalFolder first. False (and the old content kept) on failure.
bool overwriteWithJournal(const std::string& file, const std::string& data,
                          const std::string& journalFolder);

// Restores the old content of every file whose save did not finish, and
// removes the journals (also any cut short). Journals of saves still running
// are left alone.
void restoreUnfinishedSaves(const std::string& journalFolder);
