#include "console/win32/MemoAppend.h"

#include <algorithm>

namespace kelta::win32 {

namespace {

// Whether the memo shows its last line: nothing below it to scroll to.
bool ShowsLastLine(HWND memo) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  if (!::GetScrollInfo(memo, SB_VERT, &info)) return true;  // no scroll bar: all of it shows
  return info.nPage == 0 || info.nPos + static_cast<int>(info.nPage) > info.nMax;
}

// How far the memo is scrolled sideways, in pixels: where its first shown line begins.
int LeftOffset(HWND memo) {
  const LRESULT first = ::SendMessageW(memo, EM_GETFIRSTVISIBLELINE, 0, 0);
  const LRESULT at = ::SendMessageW(memo, EM_LINEINDEX, static_cast<WPARAM>(first), 0);
  return static_cast<short>(
      LOWORD(::SendMessageW(memo, EM_POSFROMCHAR, static_cast<WPARAM>(at), 0)));
}

}  // namespace

void AppendKeepingView(HWND memo, const std::wstring& lines, int lineLimit) {
  DWORD selStart = 0;
  DWORD selEnd = 0;
  ::SendMessageW(memo, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                 reinterpret_cast<LPARAM>(&selEnd));
  const int length = ::GetWindowTextLengthW(memo);
  // A caret at the end is where the list puts it: it stays at the end.
  const bool caretAtEnd = selStart == selEnd && static_cast<int>(selEnd) >= length;
  const bool follows = ShowsLastLine(memo);
  const auto firstShown = static_cast<int>(::SendMessageW(memo, EM_GETFIRSTVISIBLELINE, 0, 0));
  const int left = LeftOffset(memo);

  // Drawn once, when the list is where it stays.
  ::SendMessageW(memo, WM_SETREDRAW, FALSE, 0);
  const std::wstring add = (length > 0 ? L"\r\n" : L"") + lines;
  ::SendMessageW(memo, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
  ::SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(add.c_str()));
  // The newest lineLimit lines stay.
  const auto count = static_cast<int>(::SendMessageW(memo, EM_GETLINECOUNT, 0, 0));
  int cutLines = 0;
  DWORD cutChars = 0;
  if (count > lineLimit) {
    cutLines = count - lineLimit;
    cutChars =
        static_cast<DWORD>(::SendMessageW(memo, EM_LINEINDEX, static_cast<WPARAM>(cutLines), 0));
    ::SendMessageW(memo, EM_SETSEL, 0, static_cast<LPARAM>(cutChars));
    ::SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
  }

  if (caretAtEnd) {
    const int end = ::GetWindowTextLengthW(memo);
    ::SendMessageW(memo, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  } else {
    const DWORD start = selStart > cutChars ? selStart - cutChars : 0;
    const DWORD end = selEnd > cutChars ? selEnd - cutChars : 0;
    ::SendMessageW(memo, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
  }
  if (follows) {
    ::SendMessageW(memo, WM_VSCROLL, SB_BOTTOM, 0);
    if (caretAtEnd) ::SendMessageW(memo, EM_SCROLLCARET, 0, 0);
    // A long line (the information reply) scrolls the list sideways; the values that follow
    // are short, so bring the start of the lines back into view.
    ::SendMessageW(memo, WM_HSCROLL, SB_LEFT, 0);
  } else {
    const int wanted = std::max(0, firstShown - cutLines);
    const auto now = static_cast<int>(::SendMessageW(memo, EM_GETFIRSTVISIBLELINE, 0, 0));
    // Sideways the edit scrolls by whole average characters.
    int columns = 0;
    if (const int moved = LeftOffset(memo) - left; moved != 0) {
      HDC dc = ::GetDC(memo);
      HGDIOBJ old =
          ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(memo, WM_GETFONT, 0, 0)));
      TEXTMETRICW metrics{};
      ::GetTextMetricsW(dc, &metrics);
      ::SelectObject(dc, old);
      ::ReleaseDC(memo, dc);
      if (metrics.tmAveCharWidth > 0)
        columns =
            (moved + (moved > 0 ? 1 : -1) * metrics.tmAveCharWidth / 2) / metrics.tmAveCharWidth;
    }
    ::SendMessageW(memo, EM_LINESCROLL, static_cast<WPARAM>(columns),
                   static_cast<LPARAM>(wanted - now));
  }
  ::SendMessageW(memo, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(memo, nullptr, TRUE);
}

}  // namespace kelta::win32
