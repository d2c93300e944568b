#pragma once

#include <QProcess>

// The bundled search service, kolvadeck-catalog, beside the executable. When
// the search host is the built-in default, the program starts it for its own
// run (it serves at once and scans the music and video folders in the
// background) and ends it on exit. Another instance already serving the port
// simply makes this one exit; the searches then reach that one.
class CatalogService {
public:
    CatalogService() = default;
    ~CatalogService();
    CatalogService(const CatalogService&) = delete;
    CatalogService& operator=(const CatalogService&) = delete;

    // Starts the service unless KOLVADECK_SEARCH_HOST points elsewhere or the
    // program is missing; returns whether it was started.
    bool StartIfDefault();
    void Stop();

private:
    QProcess process;
};
