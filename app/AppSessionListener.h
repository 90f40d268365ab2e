// The application's own view of its sessions: it prints each new session id ("Session: <id>").
// It listens to the session component without subscribing to it. The crash reporter is the
// component's one subscriber, the one it waits for and whose data-collection switch decides whether
// a session event is sent; a listener is neither waited for nor asked, so it can neither hold an
// event back nor send one the crash reporter's switch holds back. Main thread only.
#pragma once

class AppSessionListener {
public:
    // Starts printing the default app's sessions, the current one at once; false when the default
    // app has no session component.
    static bool listenToDefaultApp();
};
