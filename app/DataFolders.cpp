#include "app/DataFolders.h"

#include "platform/Shell.h"

std::string createDataFolders(const std::string& localAppData) {
    // On a new account the XDG data folder itself may not exist yet.
    shell::createFolderPath(localAppData);
    const std::string dataFolder = localAppData + "/Kolvadeck/";
    // The sub-folder names are appended as they are; the doubled "/" that
    // leaves is one separator to the file system.
    // Private: the queries and the playlist say what the user listens to.
    for (const std::string& folder :
         {dataFolder, dataFolder + "/queries/", dataFolder + "/downloads/"}) {
        if (!shell::isExistingFile(folder))
            shell::createPrivateFolder(folder);
    }
    return dataFolder;
}
