#pragma once

class QWidget;
class Playlist;

// The "Save" and "Load" commands of the "Playlist" menu.
void savePlaylistFile(Playlist& playlist, QWidget* parent);
void loadPlaylistFile(Playlist& playlist, QWidget* parent);
