#include "tests/ui/wx_test_app.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/evtloop.h>
#include <wx/init.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/termination_signal.h"

namespace velmar::ui {

namespace {

wxFrame* g_frame = nullptr;
std::atomic<void (*)(int)> g_stop_handler{nullptr};

void FailOnAssert(const wxString& file, int line, const wxString& function,
                  const wxString& condition, const wxString& message) {
  ADD_FAILURE_AT(file.utf8_str(), line) << "wx assertion in " << function.utf8_str() << ": "
                                        << condition.utf8_str() << " " << message.utf8_str();
}

}  // namespace

wxFrame* TestFrame() {
  return g_frame;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  wxEventLoopBase* loop = wxEventLoopBase::GetActive();
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return done();
    }
    // Returns after one event or 10 ms, so that the condition is looked at again.
    loop->DispatchTimeout(10);
    wxTheApp->ProcessPendingEvents();
  }
  return true;
}

void SetStopHandler(void (*handler)(int signal_number)) {
  g_stop_handler.store(handler);
}

// What the screen shows of the window's client area.
wxImage GrabClientArea(wxWindow* window) {
  const wxSize size = window->GetClientSize();
  wxBitmap bitmap(size.x, size.y, 24);
  wxMemoryDC dc(bitmap);
  wxScreenDC screen;
  const wxPoint origin = window->ClientToScreen(wxPoint(0, 0));
  dc.Blit(0, 0, size.x, size.y, &screen, origin.x, origin.y);
  dc.SelectObject(wxNullBitmap);
  return bitmap.ConvertToImage();
}

}  // namespace velmar::ui

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) {
    return RUN_ALL_TESTS();  // listing needs no display
  }
  std::optional<velmar::platform::TerminationWatch> watch;
  if (std::getenv("VELMAR_WATCH_STOP") != nullptr) {
    watch.emplace([&watch] {
      if (auto* handler = velmar::ui::g_stop_handler.load()) {
        handler(watch->Caught());
      }
    });
  }
  wxSetAssertHandler(velmar::ui::FailOnAssert);
  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "cannot start wx: no display? (run under xvfb-run -a)\n");
    return 1;
  }
  int result = 1;
  {
    wxGUIEventLoop loop;
    wxEventLoopActivator activate(&loop);
    velmar::ui::g_frame = new wxFrame(nullptr, wxID_ANY, "velmar ui tests");
    velmar::ui::g_frame->SetClientSize(400, 300);
    velmar::ui::g_frame->Show();
    if (velmar::ui::PumpUntil([] { return velmar::ui::g_frame->IsShownOnScreen(); })) {
      result = RUN_ALL_TESTS();
    } else {
      std::fprintf(stderr, "the test frame never showed\n");
    }
    delete velmar::ui::g_frame;
  }
  wxEntryCleanup();
  return result;
}
