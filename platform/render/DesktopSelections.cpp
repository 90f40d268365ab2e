#include "platform/render/DesktopSelections.h"

#include "platform/foundation/Text.h"
#include "platform/log/OSLog.h"

#include <xcb/xcb.h>

#include <array>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace plat::render {

namespace {

using Steady = std::chrono::steady_clock;

const OSLog& log() {
    static const OSLog* l = new OSLog("io.velmora.mac", "selections");
    return *l;
}

std::size_t index(DesktopSelections::Selection which) {
    return which == DesktopSelections::Selection::clipboard ? 0 : 1;
}

xcb_atom_t intern(xcb_connection_t* conn, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        conn, xcb_intern_atom(conn, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

} // namespace

struct DesktopSelections::Impl {
    xcb_connection_t* conn = nullptr;
    xcb_window_t window = 0;
    struct {
        std::array<xcb_atom_t, 2> selection{}; // CLIPBOARD, PRIMARY
        xcb_atom_t utf8 = 0, string = XCB_ATOM_STRING, text = 0, targets = 0, incr = 0, property = 0;
    } atoms;
    int wake[2] = {-1, -1};

    // Shared with the callers, under `mutex`.
    mutable std::mutex mutex;
    std::array<std::optional<std::string>, 2> owned; // our text while we own the selection
    std::array<bool, 2> ownPending{};                // ownership the thread has yet to claim
    std::array<uint64_t, 2> owning{};                // own() calls so far: which ones a claim covers
    std::array<bool, 2> disownPending{};             // ownership the thread has yet to give up
    struct Read {
        uint64_t id = 0;
        std::size_t which = 0;
        Steady::time_point deadline;
        bool active = false;
        Answer done;
    } read;
    uint64_t nextRead = 1;
    bool broken = false; // the connection is gone: every request is answered with none

    // The thread's own: the transfer it is running.
    enum class Stage { Idle, Converting, Incremental } stage = Stage::Idle;
    uint64_t stageId = 0;
    std::size_t stageWhich = 0;
    Steady::time_point stageDeadline;
    xcb_atom_t target = 0;
    bool incomingLatin1 = false;
    std::string incoming;

    void wakeThread() const {
        const char byte = 1;
        [[maybe_unused]] auto n = ::write(wake[1], &byte, 1);
    }
    std::optional<std::size_t> which(xcb_atom_t selection) const {
        for (std::size_t i = 0; i < 2; ++i)
            if (atoms.selection[i] == selection) return i;
        return std::nullopt;
    }

    void loop();
    void runRequests();
    void handle(xcb_generic_event_t* event);
    void answer(const xcb_selection_request_event_t& request);
    void convert(xcb_atom_t to);
    void readProperty();
    void finish(std::optional<std::string> result);
};

DesktopSelections* DesktopSelections::shared() {
    static DesktopSelections* selections = []() -> DesktopSelections* {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) return nullptr;
        auto impl = std::make_unique<Impl>();
        int screenNumber = 0;
        impl->conn = xcb_connect(nullptr, &screenNumber);
        if (!impl->conn || xcb_connection_has_error(impl->conn)) {
            log().error("no connection to the X server for the clipboard");
            return nullptr;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(impl->conn));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem || ::pipe2(impl->wake, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
        impl->window = xcb_generate_id(impl->conn);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(impl->conn, XCB_COPY_FROM_PARENT, impl->window, it.data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
        impl->atoms.selection = {intern(impl->conn, "CLIPBOARD"), XCB_ATOM_PRIMARY};
        impl->atoms.utf8 = intern(impl->conn, "UTF8_STRING");
        impl->atoms.text = intern(impl->conn, "TEXT");
        impl->atoms.targets = intern(impl->conn, "TARGETS");
        impl->atoms.incr = intern(impl->conn, "INCR");
        impl->atoms.property = intern(impl->conn, "VELMORA_SELECTION");
        xcb_flush(impl->conn);
        Impl* raw = impl.get();
        // The thread runs for the life of the process, as the selections do.
        std::thread([raw] { raw->loop(); }).detach();
        return new DesktopSelections(std::move(impl));
    }();
    return selections;
}

DesktopSelections::DesktopSelections(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

void DesktopSelections::own(Selection which, const std::string& text) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->owned[index(which)] = text;
        impl_->ownPending[index(which)] = true;
        ++impl_->owning[index(which)];
        impl_->disownPending[index(which)] = false;
    }
    impl_->wakeThread();
}

void DesktopSelections::disown(Selection which) {
    {
        std::lock_guard lock(impl_->mutex);
        if (!impl_->owned[index(which)] && !impl_->ownPending[index(which)]) return;
        impl_->owned[index(which)].reset();
        impl_->ownPending[index(which)] = false;
        impl_->disownPending[index(which)] = true;
    }
    impl_->wakeThread();
}

bool DesktopSelections::owns(Selection which) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->owned[index(which)].has_value();
}

void DesktopSelections::request(Selection which, Duration timeout, Answer done) {
    // Our own text only while the server still names us the owner: the news that another program
    // took the selection comes to our thread, which may not have run since (a crowded machine),
    // and a paste right after a copy elsewhere must paste that copy. A claim the thread has yet to
    // make is ours all the same.
    bool ask = false;
    {
        std::lock_guard lock(impl_->mutex);
        ask = impl_->owned[index(which)] && !impl_->ownPending[index(which)] && !impl_->broken;
    }
    if (ask) {
        xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
            impl_->conn, xcb_get_selection_owner(impl_->conn, impl_->atoms.selection[index(which)]), nullptr);
        const bool stillOurs = owner && owner->owner == impl_->window;
        std::free(owner);
        std::lock_guard lock(impl_->mutex);
        if (!stillOurs && !impl_->ownPending[index(which)]) impl_->owned[index(which)].reset();
    }
    Answer dropped;
    std::optional<std::string> ours;
    bool now = false;
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->owned[index(which)] || impl_->broken) {
            ours = impl_->owned[index(which)];
            now = true;
        } else {
            if (impl_->read.active) dropped = std::move(impl_->read.done);
            impl_->read =
                Impl::Read{impl_->nextRead++, index(which), Steady::now() + timeout, true, std::move(done)};
        }
    }
    if (now) {
        done(std::move(ours));
        return;
    }
    if (dropped) dropped(std::nullopt);
    impl_->wakeThread();
}

std::optional<std::string> DesktopSelections::read(Selection which, Duration timeout) {
    struct Wait {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
        std::optional<std::string> text;
    };
    auto wait = std::make_shared<Wait>();
    request(which, timeout, [wait](std::optional<std::string> text) {
        std::lock_guard lock(wait->mutex);
        wait->text = std::move(text);
        wait->done = true;
        wait->answered.notify_all();
    });
    std::unique_lock lock(wait->mutex);
    // The thread answers by the deadline; the margin only covers a thread that is gone.
    if (!wait->answered.wait_for(lock, timeout + std::chrono::seconds(1), [&] { return wait->done; }))
        return std::nullopt;
    return wait->text;
}

// ---- The thread ----

void DesktopSelections::Impl::loop() {
    const int fd = xcb_get_file_descriptor(conn);
    for (;;) {
        if (xcb_connection_has_error(conn)) {
            log().error("the clipboard's connection to the X server broke");
            {
                std::lock_guard lock(mutex);
                broken = true;
            }
            finish(std::nullopt);
            return;
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(conn)) {
            handle(event);
            std::free(event);
        }
        runRequests();
        if (stage != Stage::Idle && Steady::now() >= stageDeadline) finish(std::nullopt);
        xcb_flush(conn);
        // Replies read above may have queued events behind them.
        if (xcb_generic_event_t* event = xcb_poll_for_queued_event(conn)) {
            handle(event);
            std::free(event);
            continue;
        }
        int wait = -1;
        if (stage != Stage::Idle) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(stageDeadline - Steady::now());
            wait = static_cast<int>(std::max<std::chrono::milliseconds::rep>(1, left.count() + 1));
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
        ::poll(fds, 2, wait);
        char drain[64];
        while (::read(wake[0], drain, sizeof drain) > 0) {
        }
    }
}

void DesktopSelections::Impl::runRequests() {
    std::array<bool, 2> claim{}, giveUp{};
    std::array<uint64_t, 2> claiming{};
    bool start = false;
    {
        std::lock_guard lock(mutex);
        // Pending until the claim is on its way (below): a reader that asks the server meanwhile
        // would hear of another owner and drop our text.
        claim = ownPending;
        claiming = owning;
        std::swap(giveUp, disownPending);
        if (!read.active) {
            stage = Stage::Idle; // the reader gave up
        } else if (stage == Stage::Idle || stageId != read.id) {
            start = true;
            stageId = read.id;
            stageWhich = read.which;
            stageDeadline = read.deadline;
        }
    }
    for (std::size_t i = 0; i < 2; ++i) {
        if (giveUp[i]) {
            // Only while it is still ours: another program may have taken it meanwhile.
            xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
                conn, xcb_get_selection_owner(conn, atoms.selection[i]), nullptr);
            if (owner && owner->owner == window)
                xcb_set_selection_owner(conn, XCB_NONE, atoms.selection[i], XCB_CURRENT_TIME);
            std::free(owner);
        }
        if (claim[i]) xcb_set_selection_owner(conn, window, atoms.selection[i], XCB_CURRENT_TIME);
    }
    {
        // Requests on the connection go out in order: whoever asks the server from now on hears of
        // this claim. An own() since then asks for a claim of its own.
        std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < 2; ++i)
            if (claim[i] && owning[i] == claiming[i]) ownPending[i] = false;
    }
    if (!start) return;
    incoming.clear();
    convert(atoms.utf8);
}

void DesktopSelections::Impl::convert(xcb_atom_t to) {
    stage = Stage::Converting;
    target = to;
    xcb_convert_selection(conn, window, atoms.selection[stageWhich], to, atoms.property, XCB_CURRENT_TIME);
}

void DesktopSelections::Impl::finish(std::optional<std::string> result) {
    stage = Stage::Idle;
    incoming.clear();
    Answer done;
    {
        std::lock_guard lock(mutex);
        if (!read.active || read.id != stageId) return;
        read.active = false;
        done = std::move(read.done);
    }
    if (done) done(std::move(result));
}

void DesktopSelections::Impl::handle(xcb_generic_event_t* event) {
    switch (event->response_type & 0x7F) {
    case XCB_SELECTION_REQUEST:
        answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
        break;
    case XCB_SELECTION_CLEAR: {
        const auto& clear = *reinterpret_cast<xcb_selection_clear_event_t*>(event);
        if (auto i = which(clear.selection); i && clear.owner == window) {
            // A clear of our own giving up may arrive after we have claimed the selection again.
            xcb_get_selection_owner_reply_t* owner =
                xcb_get_selection_owner_reply(conn, xcb_get_selection_owner(conn, clear.selection), nullptr);
            const bool stillOurs = owner && owner->owner == window;
            std::free(owner);
            std::lock_guard lock(mutex);
            // Another program took it over; a claim still to be made stands.
            if (!ownPending[*i] && !stillOurs) owned[*i].reset();
        }
        break;
    }
    case XCB_SELECTION_NOTIFY: {
        const auto& notify = *reinterpret_cast<xcb_selection_notify_event_t*>(event);
        if (stage != Stage::Converting || notify.requestor != window ||
            notify.selection != atoms.selection[stageWhich])
            break;
        if (notify.property != XCB_NONE) {
            readProperty();
        } else if (target == atoms.utf8) {
            convert(atoms.string); // an owner that only speaks Latin-1
        } else {
            finish(std::nullopt);
        }
        break;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto& change = *reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (stage == Stage::Incremental && change.window == window && change.atom == atoms.property &&
            change.state == XCB_PROPERTY_NEW_VALUE)
            readProperty();
        break;
    }
    default:
        break; // errors (a requestor gone meanwhile) and the rest need nothing
    }
}

void DesktopSelections::Impl::readProperty() {
    // Deleting the property is what asks an incremental sender for its next piece.
    const uint32_t words = static_cast<uint32_t>(kMaxBytes / 4 + 1);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        conn, xcb_get_property(conn, 1, window, atoms.property, XCB_GET_PROPERTY_TYPE_ANY, 0, words),
        nullptr);
    if (!reply) {
        finish(std::nullopt);
        return;
    }
    const xcb_atom_t type = reply->type;
    const uint8_t format = reply->format;
    const bool more = reply->bytes_after > 0;
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
    const int length = xcb_get_property_value_length(reply);
    const std::string bytes(data, data + std::max(0, length));
    std::free(reply);
    if (stage == Stage::Converting && type == atoms.incr) {
        stage = Stage::Incremental;
        incoming.clear();
        return;
    }
    if (format != 8 && !(stage == Stage::Incremental && bytes.empty())) {
        finish(std::nullopt);
        return;
    }
    if (stage == Stage::Converting) {
        if (more) {
            finish(std::nullopt); // larger than anything we take
            return;
        }
        finish(textFromProperty(bytes, type == atoms.string));
        return;
    }
    // Incremental: pieces until an empty one.
    if (bytes.empty()) {
        finish(textFromProperty(incoming, incomingLatin1));
        return;
    }
    if (incoming.size() + bytes.size() > kMaxBytes) {
        finish(std::nullopt);
        return;
    }
    incomingLatin1 = type == atoms.string;
    incoming += bytes;
}

void DesktopSelections::Impl::answer(const xcb_selection_request_event_t& request) {
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = XCB_NONE; // refused unless set below
    // Clients older than the conventions name no property: the target stands for it.
    const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
    std::optional<std::string> text;
    if (auto i = which(request.selection); i && request.owner == window) {
        std::lock_guard lock(mutex);
        text = owned[*i];
    }
    if (text) {
        // What does not fit one request is refused rather than cut (a field's text always fits).
        const std::size_t limit = static_cast<std::size_t>(xcb_get_maximum_request_length(conn)) * 4 - 64;
        auto put = [&](xcb_atom_t type, const std::string& bytes) {
            if (bytes.size() > limit) return;
            xcb_change_property(conn, XCB_PROP_MODE_REPLACE, request.requestor, property, type, 8,
                                static_cast<uint32_t>(bytes.size()), bytes.data());
            notify.property = property;
        };
        if (request.target == atoms.targets) {
            const xcb_atom_t offered[] = {atoms.targets, atoms.utf8, atoms.string, atoms.text};
            xcb_change_property(conn, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
                                4, offered);
            notify.property = property;
        } else if (request.target == atoms.utf8 || request.target == atoms.text) {
            put(atoms.utf8, *text);
        } else if (request.target == atoms.string) {
            put(atoms.string, latin1FromText(*text));
        }
    }
    xcb_send_event(conn, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notify));
    xcb_flush(conn);
}

// ---- Text conversions ----

std::optional<std::string> DesktopSelections::textFromProperty(std::string_view bytes, bool latin1) {
    if (bytes.find('\0') != std::string_view::npos) return std::nullopt;
    if (!latin1) {
        if (!text::isValidUTF8(bytes)) return std::nullopt;
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes)
        out += text::utf8Encoded(static_cast<unsigned char>(c));
    return out;
}

std::string DesktopSelections::latin1FromText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        // Two-byte sequences up to U+00FF are Latin-1 itself.
        if (length == 2 && i + 1 < text.size() && c <= 0xC3)
            out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
        else
            out += '?';
        i += length;
    }
    return out;
}

} // namespace plat::render
