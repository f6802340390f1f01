#include "platform/desktop/LogindSleep.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/ui/GuiThread.h"

namespace plat {

namespace {

constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kPath[] = "/org/freedesktop/login1";
constexpr char kManager[] = "org.freedesktop.login1.Manager";
constexpr char kWho[] = "quorvex";
// How long a call waits for logind; the GUI thread waits with it.
constexpr int kCallTimeoutMs = 2000;

std::string Reason(GError* error) {
    std::string text = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

int Index(SleepInhibitor::Mode mode) {
    return mode == SleepInhibitor::Mode::Delay ? 0 : 1;
}

} // namespace

struct LogindSleep::Impl {
    GDBusConnection* bus = nullptr;
    GMainContext* context = nullptr;
    guint subscription = 0;
    std::thread listener;
    std::atomic<bool> stop{false};
    std::shared_ptr<Handler> handler;
    // Read by the signal callback on the listener thread; it outlives the listener.
    std::weak_ptr<Handler> signalTarget;
    int fds[2] = {-1, -1}; // the inhibitors, by mode

    ~Impl() {
        handler.reset(); // notices already posted are dropped
        if (subscription != 0) {
            g_dbus_connection_signal_unsubscribe(bus, subscription);
        }
        if (listener.joinable()) {
            stop = true;
            g_main_context_wakeup(context);
            listener.join();
        }
        for (int& fd : fds) {
            if (fd >= 0) {
                close(fd);
                fd = -1;
            }
        }
        if (bus != nullptr) {
            g_dbus_connection_close_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
        if (context != nullptr) {
            // What GDBus still queued for the subscription goes with the context.
            while (g_main_context_iteration(context, FALSE)) {
            }
            g_main_context_unref(context);
        }
    }

    // The listener thread's body: runs the private context until told to stop.
    void Listen() {
        g_main_context_push_thread_default(context);
        while (!stop.load()) {
            g_main_context_iteration(context, TRUE);
        }
        g_main_context_pop_thread_default(context);
    }

    static void OnPrepareForSleep(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                  const gchar*, GVariant* parameters, gpointer data) {
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) {
            return;
        }
        gboolean sleeping = FALSE;
        g_variant_get(parameters, "(b)", &sleeping);
        std::weak_ptr<Handler> target = *static_cast<std::weak_ptr<Handler>*>(data);
        PostToGuiThread([target, asleep = sleeping != FALSE] {
            if (auto handler = target.lock()) {
                (*handler)(asleep);
            }
        });
    }
};

LogindSleep::LogindSleep(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

LogindSleep::~LogindSleep() = default;

std::unique_ptr<LogindSleep> LogindSleep::Connect(Handler handler, std::string* error) {
    auto impl = std::make_unique<Impl>();
    GError* failure = nullptr;
    // A connection of our own (not the process-wide one), so closing it closes nothing else.
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &failure);
    if (address != nullptr) {
        impl->bus = g_dbus_connection_new_for_address_sync(
            address,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &failure);
        g_free(address);
    }
    if (impl->bus == nullptr) {
        *error = "no system bus: " + Reason(failure);
        return nullptr;
    }
    g_dbus_connection_set_exit_on_close(impl->bus, FALSE);

    // The signal callback runs in the context that is the thread's default when subscribing:
    // the listener's.
    impl->handler = std::make_shared<Handler>(std::move(handler));
    impl->signalTarget = impl->handler;
    impl->context = g_main_context_new();
    g_main_context_push_thread_default(impl->context);
    impl->subscription = g_dbus_connection_signal_subscribe(
        impl->bus, kLogind, kManager, "PrepareForSleep", kPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        &Impl::OnPrepareForSleep, &impl->signalTarget, nullptr);
    g_main_context_pop_thread_default(impl->context);

    // Is logind there? (The bus starts it when it can.)
    GVariant* pong = g_dbus_connection_call_sync(
        impl->bus, kLogind, kPath, "org.freedesktop.DBus.Peer", "Ping", nullptr, nullptr,
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &failure);
    if (pong == nullptr) {
        *error = "no logind on the system bus: " + Reason(failure);
        return nullptr;
    }
    g_variant_unref(pong);
    impl->listener = std::thread([raw = impl.get()] { raw->Listen(); });
    return std::unique_ptr<LogindSleep>(new LogindSleep(std::move(impl)));
}

bool LogindSleep::Take(Mode mode, const std::string& why, std::string* error) {
    int& fd = impl_->fds[Index(mode)];
    if (fd >= 0) {
        return true;
    }
    GUnixFDList* received = nullptr;
    GError* failure = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        impl_->bus, kLogind, kPath, kManager, "Inhibit",
        g_variant_new("(ssss)", "sleep", kWho, why.c_str(),
                      mode == Mode::Delay ? "delay" : "block"),
        G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &received, nullptr,
        &failure);
    if (reply == nullptr) {
        *error = "Inhibit: " + Reason(failure);
        return false;
    }
    gint32 index = -1;
    g_variant_get(reply, "(h)", &index);
    g_variant_unref(reply);
    // The list's own descriptors close with it; the one kept is a close-on-exec copy.
    if (received != nullptr) {
        fd = g_unix_fd_list_get(received, index, &failure);
        g_object_unref(received);
    }
    if (fd < 0) {
        *error = "Inhibit: no descriptor in the reply" +
                 (failure != nullptr ? ": " + Reason(failure) : std::string());
        return false;
    }
    return true;
}

void LogindSleep::Release(Mode mode) {
    int& fd = impl_->fds[Index(mode)];
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

} // namespace plat
