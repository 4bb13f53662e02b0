#!/usr/bin/python3
"""A desktop's tray on the session bus. watch: a StatusNotifierWatcher with a host, declaring
its properties as Qt requires; tooltip|menu NAME: what the host shows; click NAME LABEL."""
import sys

import dbus
import dbus.service

WATCHER = 'org.kde.StatusNotifierWatcher'
ITEM = 'org.kde.StatusNotifierItem'
INTROSPECTION = f'''<node><interface name="{WATCHER}">
<method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
<property name="RegisteredStatusNotifierItems" type="as" access="read"/>
<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
<property name="ProtocolVersion" type="i" access="read"/>
</interface></node>'''


class Watcher(dbus.service.Object):
    items = []

    @dbus.service.method(WATCHER, in_signature='s', sender_keyword='sender')
    def RegisterStatusNotifierItem(self, service, sender):
        self.items.append(sender if service.startswith('/') else service)
        print('item', self.items[-1], flush=True)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='s', out_signature='a{sv}')
    def GetAll(self, interface):
        return {'RegisteredStatusNotifierItems': dbus.Array(self.items, signature='s'),
                'IsStatusNotifierHostRegistered': True, 'ProtocolVersion': dbus.Int32(0)}

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature='s')
    def Introspect(self):
        return INTROSPECTION


def menu(name):
    bus = dbus.SessionBus()
    path = bus.get_object(name, '/StatusNotifierItem').Get(ITEM, 'Menu',
                                                           dbus_interface=dbus.PROPERTIES_IFACE)
    proxy = dbus.Interface(bus.get_object(name, path), 'com.canonical.dbusmenu')
    proxy.AboutToShow(0)
    return proxy, proxy.GetLayout(0, -1, [])[1][2]


def label(entry):
    return str(entry[1].get('label', '----' if entry[1].get('type') == 'separator' else ''))


if sys.argv[1] == 'watch':
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    Watcher(bus, '/StatusNotifierWatcher')
    name = dbus.service.BusName(WATCHER, bus)  # held while it runs
    print('watching', flush=True)
    GLib.MainLoop().run()
elif sys.argv[1] == 'tooltip':
    tip = dbus.SessionBus().get_object(sys.argv[2], '/StatusNotifierItem').Get(
        ITEM, 'ToolTip', dbus_interface=dbus.PROPERTIES_IFACE)
    print(tip[2], tip[3])
elif sys.argv[1] == 'menu':
    print('\n'.join(label(entry) for entry in menu(sys.argv[2])[1]))
else:
    proxy, entries = menu(sys.argv[2])
    chosen = next(entry[0] for entry in entries if label(entry) == sys.argv[3])
    proxy.Event(chosen, 'clicked', dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                ignore_reply=True)
