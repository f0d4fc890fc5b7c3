#include "window_win32/progress_window.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/progress_messages.h"
#include "platform/wide_text_win32.h"
#include "ui/text_progress_model.h"
#include "window_win32/in_memory_template.h"

namespace velmar::app {

namespace {

class ProgressWindow : public platform::Window, private ui::ProgressView {
 public:
  explicit ProgressWindow(HWND window) : m_window(window) {}

  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wparam,
                                  platform::LParam lparam) override {
    if (message == WM_PAINT) {
      ::UpdateWindow(m_window);
      return 0;
    }
    return m_model.HandleMessage(message, wparam, lparam).value_or(0);
  }

  LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  void Paint();
  LRESULT CopyText(wchar_t* buffer, size_t size) const;

  bool HasWindow() const override { return m_window != nullptr; }
  int ClientWidth() const override {
    RECT client{};
    ::GetClientRect(m_window, &client);
    return client.right - client.left;
  }
  void Invalidate() override { ::InvalidateRect(m_window, nullptr, FALSE); }
  void RepaintNow() override {
    ::RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  platform::LResult DefaultHandling(platform::MessageId message, platform::WParam wparam,
                                    platform::LParam lparam) override {
    if (message != WM_SETTEXT) {
      return ::DefWindowProcW(m_window, message, wparam, lparam);
    }
    // The window keeps its own copy too, for whatever reads it without asking us.
    const char* text = reinterpret_cast<const char*>(lparam);
    const std::wstring wide = platform::Widen(text == nullptr ? "" : text);
    return ::DefWindowProcW(m_window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }

  HWND m_window;
  ui::TextProgressModel m_model{*this};
};

LRESULT ProgressWindow::CopyText(wchar_t* buffer, size_t size) const {
  const std::wstring text = platform::Widen(m_model.Text());
  if (buffer == nullptr || size == 0) {
    return 0;
  }
  const size_t count = std::min(text.size(), size - 1);
  text.copy(buffer, count);
  buffer[count] = L'\0';
  return static_cast<LRESULT>(count);
}

LRESULT ProgressWindow::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_SETTEXT: {
      const auto* text = reinterpret_cast<const wchar_t*>(lparam);
      const std::string utf8 = platform::Narrow(text == nullptr ? L"" : text);
      return m_model.SetText(utf8.c_str());
    }
    case WM_GETTEXT:
      return CopyText(reinterpret_cast<wchar_t*>(lparam), wparam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(platform::Widen(m_model.Text()).size());
    default:
      break;
  }
  if (const auto handled = m_model.HandleMessage(message, wparam, lparam)) {
    return *handled;
  }
  return ::DefWindowProcW(m_window, message, wparam, lparam);
}

void FillRect(HDC dc, const ui::PixelRect& rect, platform::ColorRef color) {
  if (rect.IsEmpty()) {
    return;
  }
  const RECT area{rect.left, rect.top, rect.right, rect.bottom};
  const HBRUSH brush = ::CreateSolidBrush(color);
  ::FillRect(dc, &area, brush);
  ::DeleteObject(brush);
}

void DrawClipped(HDC dc, const std::wstring& text, const ui::ProgressPicture& picture,
                 const ui::PixelRect& clip, platform::ColorRef color, UINT format) {
  if (clip.IsEmpty()) {
    return;
  }
  // Both parts place the text in the whole client area, so the halves meet at the bar's end.
  const HRGN region = ::CreateRectRgn(clip.left, clip.top, clip.right, clip.bottom);
  ::SelectClipRgn(dc, region);
  ::SetTextColor(dc, color);
  RECT client{picture.client.left, picture.client.top, picture.client.right, picture.client.bottom};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, format | DT_NOPREFIX);
  ::SelectClipRgn(dc, nullptr);
  ::DeleteObject(region);
}

void ProgressWindow::Paint() {
  PAINTSTRUCT paint{};
  const HDC target = ::BeginPaint(m_window, &paint);
  RECT client{};
  ::GetClientRect(m_window, &client);
  const bool vertical = (::GetWindowLongW(m_window, GWL_STYLE) & PBS_VERTICAL) != 0;
  const ui::ProgressPicture picture =
      m_model.Picture({client.left, client.top, client.right, client.bottom}, vertical,
                      ::GetSysColor(COLOR_HIGHLIGHT), ::GetSysColor(COLOR_WINDOW));
  if (picture.draws && client.right > 0 && client.bottom > 0) {
    // Drawn off-screen and copied in one go, so the bar never flickers while it moves.
    const HDC dc = ::CreateCompatibleDC(target);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(target, client.right, client.bottom);
    const HGDIOBJ old_bitmap = ::SelectObject(dc, bitmap);
    FillRect(dc, picture.filled, picture.bar);
    FillRect(dc, picture.empty, picture.background);
    if (picture.has_text) {
      const auto font =
          reinterpret_cast<HFONT>(::SendMessageW(::GetParent(m_window), WM_GETFONT, 0, 0));
      const HGDIOBJ old_font = font != nullptr ? ::SelectObject(dc, font) : nullptr;
      ::SetBkMode(dc, TRANSPARENT);
      const std::wstring text = platform::Widen(picture.text);
      const UINT format = m_model.TextFormat();
      DrawClipped(dc, text, picture, picture.filled, picture.text_over_bar, format);
      DrawClipped(dc, text, picture, picture.empty, picture.text_over_background, format);
      if (old_font != nullptr) {
        ::SelectObject(dc, old_font);
      }
    }
    ::BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    ::SelectObject(dc, old_bitmap);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
  }
  ::EndPaint(m_window, &paint);
}

ProgressWindow* Attached(HWND window) {
  return reinterpret_cast<ProgressWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    // On the creating thread's queue, which the UI thread made before the dialog.
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(new ProgressWindow(window)));
  }
  ProgressWindow* progress = Attached(window);
  if (progress == nullptr) {
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    delete progress;  // releases any sender still waiting
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  return progress->WindowProc(message, wparam, lparam);
}

}  // namespace

bool RegisterProgressClass(HINSTANCE instance) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ProgressProc;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kProgressClassName;
  return ::RegisterClassExW(&window_class) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

platform::Window* ProgressWindowOf(HWND window) {
  wchar_t name[64] = {};
  if (window == nullptr || ::GetClassNameW(window, name, 64) == 0 ||
      std::wstring_view(name) != kProgressClassName) {
    return nullptr;
  }
  return Attached(window);
}

}  // namespace velmar::app
