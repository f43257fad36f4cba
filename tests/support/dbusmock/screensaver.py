'''org.freedesktop.ScreenSaver for tests: Inhibit hands out cookies 1, 2, 3, ...; UnInhibit takes one back;
GetSessionIdleTime answers the parameter idle_ms, or fails with NotSupported (as GNOME's does) when it
is not given. Calls are in the mock's log (-l).'''

import dbus

BUS_NAME = 'org.freedesktop.ScreenSaver'
MAIN_OBJ = '/org/freedesktop/ScreenSaver'
MAIN_IFACE = 'org.freedesktop.ScreenSaver'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.next_cookie = 1
    idle = parameters.get('idle_ms')
    if idle is None:
        idle_code = ('raise dbus.exceptions.DBusException("idle time is not supported here", '
                     'name="org.freedesktop.DBus.Error.NotSupported")')
    else:
        idle_code = 'ret = dbus.UInt32(%d)' % int(idle)
    mock.AddMethods(MAIN_IFACE, [
        ('Inhibit', 'ss', 'u', 'ret = dbus.UInt32(self.next_cookie); self.next_cookie += 1'),
        ('UnInhibit', 'u', '', ''),
        ('GetSessionIdleTime', '', 'u', idle_code),
    ])
