#include "app/wayland_seat_check.h"

#include <QByteArray>
#include <QTextStream>

#include <cstring>
#include <wayland-client.h>

namespace {

bool offersSeat(wl_display* display) {
    static const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, wl_seat_interface.name) == 0)
                *static_cast<bool*>(data) = true;
        },
        [](void*, wl_registry*, uint32_t) {}};
    bool seat = false;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &seat);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    return seat;
}

} // namespace

void avoidSeatlessTextInput(QTextStream& err) {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool wayland = platform.isEmpty() ? qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
                                            : platform.startsWith("wayland");
    if (!wayland || qEnvironmentVariableIsSet("QT_IM_MODULE"))
        return;
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr)
        return; // Qt says why when it tries
    const bool seat = offersSeat(display);
    wl_display_disconnect(display);
    if (seat)
        return;
    qputenv("QT_IM_MODULE", "compose");
    err << "marrowtune: this desktop has no keyboard or pointer seat; text fields do without its "
           "input methods\n";
    err.flush();
}
