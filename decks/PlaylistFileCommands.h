#pragma once

class QWidget;
class TPlaylist;

// The "Save" and "Load" commands of the "Playlist" menu.
void Save1Click(TPlaylist& playlist, QWidget* parent);
void Load1Click(TPlaylist& playlist, QWidget* parent);
