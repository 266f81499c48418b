#pragma once

class QDialog;

// On Wayland the toolkit draws every window's title bar itself, with minimize and maximize
// buttons whatever the window's size rules. There a dialog of fixed size gets a title bar of
// its own instead: its caption and a close button, and dragging the bar moves the dialog. The
// dialog grows by the bar's height; what it holds keeps its place under the bar. Elsewhere the
// window manager decorates it and this does nothing. True when the dialog got the bar.
bool GiveFixedDialogTitleBar(QDialog& dialog);
