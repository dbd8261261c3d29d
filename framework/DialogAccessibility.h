// How assistive technology (a screen reader over AT-SPI) sees the controls of a dialog.
// Qt reports a checkable button that is not auto-exclusive as a check box, and on Linux
// names a combo box after its current entry; our radio buttons are grouped by dialog
// group rather than by auto-exclusivity, and a combo box is named after its label.
#pragma once

// Installs the accessible interfaces of the dialog control classes. Needs the
// application object; installing again does nothing.
void InstallDialogAccessibility();
