#include "window_wx/wx_icons.h"

#include <wx/image.h>
#include <wx/mstream.h>

#include "window_wx/wx_icon_data.h"

namespace velmar::app {

namespace {

wxImage Decode(const EmbeddedPng& png) {
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) {
    wxImage::AddHandler(new wxPNGHandler);
  }
  wxMemoryInputStream stream(png.data, png.length);
  wxImage image;
  if (!image.LoadFile(stream, wxBITMAP_TYPE_PNG)) {
    return wxImage();
  }
  return image;
}

}  // namespace

wxIconBundle AppIcons() {
  wxIconBundle bundle;
  for (const EmbeddedPng& png : EmbeddedIcons()) {
    const wxImage image = Decode(png);
    if (image.IsOk()) {
      wxIcon icon;
      icon.CopyFromBitmap(wxBitmap(image));
      bundle.AddIcon(icon);
    }
  }
  return bundle;
}

wxBitmap AppIconBitmap(int size) {
  wxImage largest;
  for (const EmbeddedPng& png : EmbeddedIcons()) {
    wxImage image = Decode(png);
    if (!image.IsOk()) {
      continue;
    }
    if (png.size == size) {
      return wxBitmap(image);
    }
    largest = image;
  }
  if (!largest.IsOk()) {
    return wxBitmap();
  }
  return wxBitmap(largest.Scale(size, size, wxIMAGE_QUALITY_HIGH));
}

}  // namespace velmar::app
