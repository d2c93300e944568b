#include "search/MoviePlayer.h"

#include "platform/LoadableModule.h"

std::unique_ptr<MoviePlayer>
makeMoviePlayer(QWidget* host, std::function<void(const QString&)> onError, std::string* why) {
    using Make = MoviePlayer* (*)(QWidget*, std::function<void(const QString&)>*);
    const auto make = reinterpret_cast<Make>(
        moduleSymbol("kolvadeck-preview", "kolvadeck_new_movie_player", why));
    if (!make)
        return nullptr;
    return std::unique_ptr<MoviePlayer>(make(host, &onError));
}
