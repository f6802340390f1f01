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

// Opens a connection of our own (not the process-wide one, so closing it closes nothing else)
// to the bus at `address`, waiting at most kCallTimeoutMs for it: a bus that takes the
// connection and never answers (its daemon stopped) would otherwise hold the GUI thread for as
// long as it does not. GDBus connects on a thread of GLib's; when the time is up the
// attempt is cancelled and waited for, so nothing of it is left behind. Null, with *error set,
// when the bus cannot be reached or does not answer in time.
GDBusConnection* OpenBus(const char* address, std::string* error) {
    struct Attempt {
        GDBusConnection* bus = nullptr;
        GError* failure = nullptr;
        bool done = false;
    } attempt;
    GMainContext* context = g_main_context_new();
    GCancellable* cancellable = g_cancellable_new();
    // The completion runs in the context that is the thread's default when the attempt starts.
    g_main_context_push_thread_default(context);
    g_dbus_connection_new_for_address(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, cancellable,
        [](GObject*, GAsyncResult* result, gpointer data) {
            auto* done = static_cast<Attempt*>(data);
            done->bus = g_dbus_connection_new_for_address_finish(result, &done->failure);
            done->done = true;
        },
        &attempt);
    GSource* limit = g_timeout_source_new(kCallTimeoutMs);
    g_source_set_callback(
        limit,
        [](gpointer data) {
            g_cancellable_cancel(static_cast<GCancellable*>(data));
            return G_SOURCE_REMOVE;
        },
        cancellable, nullptr);
    g_source_attach(limit, context);
    while (!attempt.done) {
        g_main_context_iteration(context, TRUE);
    }
    g_source_destroy(limit);
    g_source_unref(limit);
    g_main_context_pop_thread_default(context);
    const bool late = g_cancellable_is_cancelled(cancellable);
    g_object_unref(cancellable);
    while (g_main_context_iteration(context, FALSE)) {
    }
    g_main_context_unref(context);
    if (attempt.bus == nullptr) {
        const std::string why = Reason(attempt.failure); // frees it
        *error = late ? "no answer within " + std::to_string(kCallTimeoutMs) + " ms" : why;
    }
    return attempt.bus;
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
    std::string reason;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &failure);
    if (address == nullptr) {
        reason = Reason(failure);
    } else {
        impl->bus = OpenBus(address, &reason);
        g_free(address);
    }
    if (impl->bus == nullptr) {
        *error = "no system bus: " + reason;
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
