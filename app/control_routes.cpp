#include "app/control_routes.h"

#include <array>

namespace velmar::app {

namespace {

constexpr std::array<ControlRoute, 5> kRoutes{{
    {kPathEdit, ControlEvent::kTextChanged, &MainDialog::OnPathEditChange},
    {kBrowseButton, ControlEvent::kClicked, &MainDialog::Browse},
    {kLoadButton, ControlEvent::kClicked, &MainDialog::StartLoad},
    {IDOK, ControlEvent::kClicked, &MainDialog::OnOK},
    {IDCANCEL, ControlEvent::kClicked, &MainDialog::OnCancel},
}};

}  // namespace

std::span<const ControlRoute> ControlRoutes() {
  return kRoutes;
}

}  // namespace velmar::app
