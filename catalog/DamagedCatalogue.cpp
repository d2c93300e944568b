#include "catalog/DamagedCatalogue.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

void openOrRebuildCatalogue(const std::string& path) {
    try {
        std::string problem;
        {
            Database db(path);
            problem = db.quickCheck();
        }
        if (problem != "ok")
            rebuildCatalogue(path, CatalogError("integrity check: " + problem, SQLITE_CORRUPT));
    } catch (const CatalogError& error) {
        if (!error.damaged())
            throw;
        rebuildCatalogue(path, error);
    }
}

void rebuildCatalogue(const std::string& path, const CatalogError& damage) {
    std::fprintf(stderr,
                 "kolvadeck-catalog: the catalogue %s is damaged (%s); it is moved to "
                 "%s.corrupt and rebuilt from the folders\n",
                 path.c_str(), damage.what(), path.c_str());
    std::error_code ignored;
    std::filesystem::rename(path, path + ".corrupt", ignored);
    // The journal files belong to the damaged file; left here they would be
    // replayed into the new one.
    std::filesystem::remove(path + "-wal", ignored);
    std::filesystem::remove(path + "-shm", ignored);
    std::filesystem::remove(path + "-journal", ignored);
    Database fresh(path);
}
