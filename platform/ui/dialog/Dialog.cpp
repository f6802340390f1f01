#include "platform/ui/dialog/Dialog.h"

#include <atomic>

#include "platform/ui/dialog/GtkDialogFactory.h"

namespace plat {
namespace {
std::atomic<DialogFactory*> g_installed{nullptr};
} // namespace

DialogFactory& CurrentDialogFactory() {
    static GtkDialogFactory gtk;
    DialogFactory* installed = g_installed.load();
    return installed != nullptr ? *installed : gtk;
}

DialogFactory* SetDialogFactory(DialogFactory* factory) {
    return g_installed.exchange(factory);
}

} // namespace plat
