#include "playback/gst_reading_timers.h"

#include <utility>

namespace {

// While playing, between reads the caller runs the position on with the monotonic clock.
constexpr guint kFollowMs = 2000;
constexpr guint kSoonMs = 100;

} // namespace

GstReadingTimers::GstReadingTimers(GMainContext* context, std::function<bool()> read)
    : context_(context), read_(std::move(read)) {}

void GstReadingTimers::readNow() {
    if (!read_() || soon_)
        return;
    soon_ = add(kSoonMs, [](gpointer data) -> gboolean {
        auto* self = static_cast<GstReadingTimers*>(data);
        g_source_unref(std::exchange(self->soon_, nullptr));
        self->readNow();
        return G_SOURCE_REMOVE;
    });
}

void GstReadingTimers::startFollowing() {
    if (!following_)
        following_ = add(kFollowMs, [](gpointer self) -> gboolean {
            static_cast<GstReadingTimers*>(self)->readNow();
            return G_SOURCE_CONTINUE;
        });
}

void GstReadingTimers::stop() {
    for (GSource** timer : {&following_, &soon_}) {
        if (*timer) {
            g_source_destroy(*timer);
            g_source_unref(std::exchange(*timer, nullptr));
        }
    }
}

GSource* GstReadingTimers::add(guint ms, GSourceFunc call) {
    GSource* timer = g_timeout_source_new(ms);
    g_source_set_callback(timer, call, this, nullptr);
    g_source_attach(timer, context_);
    return timer;
}
