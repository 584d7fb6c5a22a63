// End-to-end test of the settings-change broadcast under Wine: a hidden top-level window, as
// Explorer and every open program have, records the WM_SETTINGCHANGE messages it receives while
// corvel runs. Windows exist here only with Wine's null graphics driver, which the CTest group
// switches on around this suite (wine-prefix.sh with-null-graphics).
#include "win32_support.h"  // <windows.h> first

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"

namespace corvel::e2e {
namespace {

// A hidden top-level window on a thread of its own that pumps messages, so that a broadcast
// sent while the test waits for corvel is answered at once.
class SettingChangeListener {
public:
    SettingChangeListener() : m_thread([this] { run(); }) {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_started; });
        if (m_window == nullptr) {
            m_thread.join();
            throw HarnessError("CreateWindowExW failed (" + std::to_string(m_error) +
                               "): the prefix needs HKCU\\Software\\Wine\\Drivers "
                               "Graphics=null before its wineserver starts");
        }
    }

    ~SettingChangeListener() {
        PostMessageW(m_window, WM_CLOSE, 0, 0);
        m_thread.join();
    }

    SettingChangeListener(const SettingChangeListener&) = delete;
    SettingChangeListener& operator=(const SettingChangeListener&) = delete;

    // The texts (lParam) of the WM_SETTINGCHANGE messages received so far, oldest first;
    // "(none)" for a message without one.
    std::vector<std::string> received() {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
        auto* self =
            reinterpret_cast<SettingChangeListener*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_SETTINGCHANGE && self != nullptr) {
            const auto* text = reinterpret_cast<const wchar_t*>(lparam);
            std::lock_guard lock(self->m_mutex);
            self->m_received.push_back(text != nullptr ? detail::narrow(text) : "(none)");
            return 0;
        }
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    }

    void run() {
        WNDCLASSW window_class{};
        window_class.lpfnWndProc = window_procedure;
        window_class.hInstance = GetModuleHandleW(nullptr);
        window_class.lpszClassName = L"CorvelSettingChangeListener";
        RegisterClassW(&window_class);
        HWND window =
            CreateWindowExW(0, window_class.lpszClassName, L"listener", WS_OVERLAPPEDWINDOW, 0, 0,
                            100, 100, nullptr, nullptr, window_class.hInstance, nullptr);
        {
            std::lock_guard lock(m_mutex);
            m_window = window;
            m_error = window == nullptr ? GetLastError() : 0;
            if (window != nullptr) {
                SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            }
            m_started = true;
        }
        m_ready.notify_one();
        if (window == nullptr) {
            return;
        }
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    bool m_started = false;
    HWND m_window = nullptr;
    DWORD m_error = 0;
    std::vector<std::string> m_received;
    std::thread m_thread;  // last: started once every other member exists
};

// How many of the received messages announce an environment change.
std::size_t environment_messages(SettingChangeListener& listener) {
    std::size_t count = 0;
    for (const std::string& text : listener.received()) {
        count += text == "Environment" ? 1 : 0;
    }
    return count;
}

class BroadcastE2e : public E2eTest {};

TEST_F(BroadcastE2e, EveryUseAnnouncesOneEnvironmentChangeAndNothingElseDoes) {
    std::string jdk17 = make_jdk("jdk-17");
    std::string jdk21 = make_jdk("jdk-21");
    SettingChangeListener listener;

    ASSERT_EQ(run_corvel({"add", "java17", jdk17}).status, 0);
    ASSERT_EQ(run_corvel({"add", "java21", jdk21}).status, 0);
    EXPECT_EQ(run_corvel({"export-shell", "java17", "--shell", "cmd"}).status, 0);
    EXPECT_EQ(environment_messages(listener), 0u);

    RunResult r = run_corvel({"use", "java17"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(environment_messages(listener), 1u);

    r = run_corvel({"use", "java21"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(environment_messages(listener), 2u);

    // A use that fails before writing anything announces nothing.
    r = run_corvel({"use", "java8"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(environment_messages(listener), 2u);
}

}  // namespace
}  // namespace corvel::e2e
