'''GNOME's idle monitor for tests: GetIdletime answers the parameter idle_ms (milliseconds).'''

import dbus

BUS_NAME = 'org.gnome.Mutter.IdleMonitor'
MAIN_OBJ = '/org/gnome/Mutter/IdleMonitor/Core'
MAIN_IFACE = 'org.gnome.Mutter.IdleMonitor'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.AddMethods(MAIN_IFACE, [
        ('GetIdletime', '', 't', 'ret = dbus.UInt64(%d)' % int(parameters.get('idle_ms', 0))),
    ])
