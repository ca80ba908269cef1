// Port changes on Windows: WM_DEVICECHANGE, received by a hidden top-level
// window on the watch's own thread. Broadcasts such as DBT_DEVNODES_CHANGED
// reach top-level windows only (not message-only ones), and some virtual COM
// port drivers send nothing else, so every device-change message counts.
#include <future>
#include <thread>

#include "link/port_watch_backend.h"
#include "native_types.h"

namespace {
constexpr wchar_t kClassName[] = L"KavroPortWatch";
constexpr UINT kDbtDevnodesChanged = 0x0007;
constexpr UINT kDbtDeviceArrival = 0x8000;
constexpr UINT kDbtDeviceRemoveComplete = 0x8004;
}  // namespace

struct CPortWatch::CBackend::State {
    std::function<void()> report;
    std::thread thread;
    HWND window = nullptr;  // owned by the thread; read by the destructor after Start

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DEVICECHANGE &&
            (wParam == kDbtDevnodesChanged || wParam == kDbtDeviceArrival || wParam == kDbtDeviceRemoveComplete)) {
            auto* state = reinterpret_cast<State*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            if (state != nullptr) state->report();
            return TRUE;
        }
        if (message == WM_CLOSE) {
            ::DestroyWindow(window);
            return 0;
        }
        if (message == WM_DESTROY) {
            ::PostQuitMessage(0);
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    // The thread: makes the window, says whether that worked, then pumps its
    // messages until the window is closed.
    void Run(std::promise<HWND>& made) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &State::WindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        ::RegisterClassExW(&windowClass);  // fails harmlessly when already registered
        // Never shown: WS_POPUP without WS_VISIBLE, no parent.
        HWND created = ::CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                         windowClass.hInstance, nullptr);
        if (created != nullptr) ::SetWindowLongPtrW(created, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        made.set_value(created);
        if (created == nullptr) return;
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
};

CPortWatch::CBackend::CBackend(std::function<void()> report) : m_state(std::make_unique<State>()) {
    m_state->report = std::move(report);
}

CPortWatch::CBackend::~CBackend() {
    if (!m_state->thread.joinable()) return;
    if (m_state->window != nullptr) ::PostMessageW(m_state->window, WM_CLOSE, 0, 0);
    m_state->thread.join();
}

bool CPortWatch::CBackend::Start() {
    std::promise<HWND> made;
    std::future<HWND> window = made.get_future();
    m_state->thread = std::thread([state = m_state.get(), &made] { state->Run(made); });
    m_state->window = window.get();
    return m_state->window != nullptr;
}
