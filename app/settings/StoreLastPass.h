#pragma once
#include <string>

namespace plat {
class IniFile;
}

// Remembers a typed password as quorvex.ini [General] LastPass, in its stored form, only when
// that form gives back the same password (passwords of up to eight digits); any other password
// would come back changed, so LastPass is removed instead. True when the file was written.
bool StoreLastPass(plat::IniFile& ini, const std::string& password);

// Removes the remembered password. True when the file was written.
bool ForgetLastPass(plat::IniFile& ini);
