#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/res/ResourceModule.h"
#include "skin/SkinResources.h"

// The skin files: each is Skins/<skin id in lower-case hex>.zsk, installed by the user in the
// data dir's folder or shipped in the program dir's. When both hold a skin id the installed
// copy is the one used; the listing, the switch and the install all go by PathOf. Skins are
// data: they are read by the resource reader, never loaded as code. GUI thread only.
class SkinFolder {
public:
    // The folder's one name, in the data dir and beside the program.
    static constexpr char kName[] = "Skins";

    enum class Install {
        Installed,
        NoFolder,         // the data dir's folder cannot be made
        NotASkin,         // not a readable module, or no skin id above 0
        AlreadyInstalled, // a skin with this id is installed or shipped
        Unusable,         // its contents fail CheckContents (a file too large is not read)
        CopyFailed,       // reading the file or writing the copy failed; nothing is left
    };

    // The two folders (tests give their own).
    SkinFolder(std::string installedDir, std::string shippedDir);
    // The data dir's and the program dir's folders.
    static SkinFolder Default();

    // "<id in lower-case hex>.zsk".
    static std::string FileName(uint32_t id);
    // The skin id a file name stands for; false for any other name.
    static bool IdFromFileName(const std::string& name, uint32_t* id);

    // What the program checks in a skin module before it installs it or makes it the current
    // skin: the toolkit's contents check with each value the forms read held to what it is (a
    // font height, a size, a place), the login form's and the call window's backgrounds as
    // pictures, and the images the forms make of the skin (the windows' back buffers, the
    // skins panel's preview) in its budget.
    static SkinContents CheckContents(const plat::ResourceModule& module);

    // The file of skin `id`: the installed one when it exists, else the shipped one.
    std::string PathOf(uint32_t id) const;
    // Whether either folder holds skin `id`.
    bool Has(uint32_t id) const;
    // The files to list, one per skin id, each the one PathOf gives: the installed folder's
    // first, then the shipped one's, each by name.
    std::vector<std::string> List() const;
    // Copies `source` into the installed folder as FileName(its skin id), never over an
    // existing file: the copy is written under a temporary name and linked into place, so a
    // failure leaves no file behind. *id and *target are set once the skin id is known.
    Install Copy(const std::string& source, uint32_t* id, std::string* target) const;

    const std::string& InstalledDir() const { return m_Installed; }
    const std::string& ShippedDir() const { return m_Shipped; }

private:
    std::string m_Installed;
    std::string m_Shipped;
};
