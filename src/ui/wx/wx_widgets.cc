#include "ui/wx/wx_widgets.h"

#include <wx/dcbuffer.h>

namespace sk::ui {

BoxedLabel::BoxedLabel(wxWindow* parent, const wxPoint& position, const wxSize& size,
                       uint32_t style, const wxColour& background)
    : wxWindow(parent, wxID_ANY, position, size, wxFULL_REPAINT_ON_RESIZE | wxBORDER_NONE),
      style_(style) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetBackgroundColour(background.IsOk() ? background : parent->GetBackgroundColour());
  Bind(wxEVT_PAINT, &BoxedLabel::OnPaint, this);
}

void BoxedLabel::SetLabel(const wxString& text) {
  if (text == text_) return;
  text_ = text;
  Refresh();
}

void BoxedLabel::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxSize size = GetClientSize();
  dc.SetBackground(wxBrush(GetBackgroundColour()));
  dc.Clear();
  int inset = 2;
  if ((style_ & kStyleBorder) != 0) {
    // A thin sunken edge: dark above and left, light below and right.
    dc.SetPen(wxPen(wxColour(0x80, 0x80, 0x80)));
    dc.DrawLine(0, 0, size.x - 1, 0);
    dc.DrawLine(0, 0, 0, size.y - 1);
    dc.SetPen(wxPen(wxColour(0xF0, 0xF0, 0xF0)));
    dc.DrawLine(0, size.y - 1, size.x, size.y - 1);
    dc.DrawLine(size.x - 1, 0, size.x - 1, size.y);
    inset = 3;
  }
  dc.SetFont(GetFont());
  dc.SetTextForeground(IsThisEnabled() ? GetForegroundColour()
                                       : wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT));
  int alignment = wxALIGN_LEFT;
  if ((style_ & kStyleCentered) != 0) alignment = wxALIGN_CENTRE_HORIZONTAL;
  if ((style_ & kStyleRightAligned) != 0) alignment = wxALIGN_RIGHT;
  const wxRect area(inset, 1, size.x - 2 * inset, size.y - 2);
  dc.DrawLabel(text_, area, alignment | wxALIGN_CENTRE_VERTICAL);
}

wxBitmap ImageBitmap(const Image& image, int width, int height) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != static_cast<size_t>(image.width) * image.height) {
    return wxBitmap(std::max(width, 1), std::max(height, 1));
  }
  wxImage picture(image.width, image.height);
  picture.InitAlpha();
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const uint32_t argb = image.pixels[static_cast<size_t>(y) * image.width + x];
      picture.SetRGB(x, y, (argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
      picture.SetAlpha(x, y, static_cast<unsigned char>(argb >> 24));
    }
  }
  if (width != image.width || height != image.height) {
    picture.Rescale(width, height, wxIMAGE_QUALITY_NEAREST);
  }
  return wxBitmap(picture);
}

}  // namespace sk::ui
