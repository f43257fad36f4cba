#pragma once
// The one place that wires the running application: the tray and its menus, the Preferences, welcome and
// mini-player windows, the desktop picture, the live desktop, the updater and the screen-saver installer,
// each filled into the controller's parts. The windows get the controller as a Controller only, so none
// of them includes App; this file alone knows both.

class App;
struct AppParts;

// Fills the parts this build has, for the running application. Called once by main before launch.
void wireAppParts(App& app, AppParts& parts);
