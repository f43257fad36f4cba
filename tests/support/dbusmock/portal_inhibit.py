'''The desktop portal's org.freedesktop.portal.Inhibit for tests: Inhibit answers with a request object
/org/freedesktop/portal/desktop/request/1_1/tN (N = 1, 2, ...) whose Close takes the inhibit back. Calls
are in the mock's log (-l).'''

import dbus

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.Inhibit'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.next_request = 1
    mock.AddMethods(MAIN_IFACE, [
        ('Inhibit', 'sua{sv}', 'o',
         'path = "/org/freedesktop/portal/desktop/request/1_1/t%d" % self.next_request\n'
         'self.next_request += 1\n'
         'self.AddObject(path, "org.freedesktop.portal.Request", {}, [("Close", "", "", "")])\n'
         'ret = dbus.ObjectPath(path)'),
    ])
