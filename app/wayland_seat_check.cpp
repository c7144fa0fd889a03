#include "app/wayland_seat_check.h"

#include <QByteArray>
#include <QTextStream>

#include <cstring>
#include <dlfcn.h>
#include <wayland-client.h>

namespace {

// The Wayland client library is opened only here, when the program is about to run on
// Wayland: on X11, start-up loads nothing more.
class WaylandClientLibrary {
public:
    WaylandClientLibrary() : handle_(dlopen("libwayland-client.so.0", RTLD_LAZY | RTLD_LOCAL)) {}
    ~WaylandClientLibrary() {
        if (handle_ != nullptr)
            dlclose(handle_);
    }
    WaylandClientLibrary(const WaylandClientLibrary&) = delete;
    WaylandClientLibrary& operator=(const WaylandClientLibrary&) = delete;
    template <typename T> T* get(const char* name) const {
        return handle_ != nullptr ? reinterpret_cast<T*>(dlsym(handle_, name)) : nullptr;
    }

private:
    void* handle_;
};

void onGlobal(void* seat, wl_registry*, uint32_t, const char* interface, uint32_t) {
    if (std::strcmp(interface, "wl_seat") == 0)
        *static_cast<bool*>(seat) = true;
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}

// True only when the compositor answered and listed no seat; a compositor that cannot be
// asked is left to Qt, which says itself what is wrong. The calls are those the header's
// inline wl_display_get_registry and wl_registry_add_listener make.
bool compositorLacksSeat() {
    const WaylandClientLibrary wl;
    auto* connect = wl.get<decltype(wl_display_connect)>("wl_display_connect");
    auto* disconnect = wl.get<decltype(wl_display_disconnect)>("wl_display_disconnect");
    auto* roundtrip = wl.get<decltype(wl_display_roundtrip)>("wl_display_roundtrip");
    auto* construct =
        wl.get<decltype(wl_proxy_marshal_constructor)>("wl_proxy_marshal_constructor");
    auto* addListener = wl.get<decltype(wl_proxy_add_listener)>("wl_proxy_add_listener");
    auto* destroy = wl.get<decltype(wl_proxy_destroy)>("wl_proxy_destroy");
    const auto* registryInterface = wl.get<const wl_interface>("wl_registry_interface");
    if (!connect || !disconnect || !roundtrip || !construct || !addListener || !destroy ||
        !registryInterface)
        return false;
    wl_display* display = connect(nullptr);
    if (display == nullptr)
        return false;
    static const wl_registry_listener listener = {onGlobal, onGlobalRemove};
    bool seat = false;
    wl_proxy* registry = construct(reinterpret_cast<wl_proxy*>(display), WL_DISPLAY_GET_REGISTRY,
                                   registryInterface, nullptr);
    const bool answered = registry != nullptr &&
                          addListener(registry, (void (**)(void)) & listener, &seat) == 0 &&
                          roundtrip(display) >= 0;
    if (registry != nullptr)
        destroy(registry);
    disconnect(display);
    return answered && !seat;
}

} // namespace

void avoidSeatlessTextInput(QTextStream& err) {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool wayland = platform.isEmpty() ? qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
                                            : platform.startsWith("wayland");
    if (!wayland || qEnvironmentVariableIsSet("QT_IM_MODULE") || !compositorLacksSeat())
        return;
    qputenv("QT_IM_MODULE", "compose");
    err << "marrowtune: this desktop has no keyboard or pointer seat; text fields do without its "
           "input methods\n";
    err.flush();
}
