"""The devices scripts/make-sample-machines.py writes into the sample machines.

Real hardware ids of the parts each machine is modelled on; in-box drivers
carry the machine's Windows build, vendor drivers their own ages. The
deliberate oddities every machine has (the device list must cope with them):
a failed device, a disabled one, one waiting for a restart, past devices,
duplicates, a non-Plug-and-Play driver, a device without ids and a child
under its parent's service enumerator.
"""


def le(hex_text):
    return int.from_bytes(bytes(int(x, 16) for x in hex_text.split(",")), "little")


def desktop(Machine, pci, usb, acpi, hdaudio, cpu_ids, filetime_of):
    # MSI B450 TOMAHAWK MAX, Ryzen 5 3600, GTX 1060; the hand-written part
    # already has the main parts, these are the rest of what Windows lists.
    m = Machine("desktop-win10-x64",
                times=(le("00,22,53,d5,fb,d1,d6,01"), le("00,22,53,d5,fb,d1,d6,01"),
                       le("00,34,9b,c3,39,0f,d7,01")),
                removal=le("00,84,3f,60,a8,00,d7,01"), pdo_start=0x100)
    ms = m.ms
    cpu = "AuthenticAMD_-_AMD64_Family_23_Model_113_-_AMD_Ryzen_5_3600_6-Core_Processor_-_"
    for core in range(2, 12):
        m.add(f"ACPI\\{cpu}\\_{core}", "Processor",
              cpu_ids("AuthenticAMD", "AMD64", 23, 113, "AMD_Ryzen_5_3600_6-Core_Processor_-_"),
              cls="Processor", service="amdppm",
              mfg="Advanced Micro Devices", friendly="AMD Ryzen 5 3600 6-Core Processor",
              drv=ms("cpu.inf", "AmdPPM_Inst.NT", "acpi\\authenticamd", "AMD Processor"))
    std = "(Standard system devices)"
    for name, inst, desc, inf, section, service in [
        ("PNP0000", "4&1b3eaf7&0", "Programmable interrupt controller", "machine.inf", "NO_DRV", None),
        ("PNP0100", "4&1b3eaf7&0", "System timer", "machine.inf", "NO_DRV", None),
        ("PNP0200", "4&1b3eaf7&0", "Direct memory access controller", "machine.inf", "NO_DRV", None),
        ("PNP0800", "4&1b3eaf7&0", "System speaker", "machine.inf", "NO_DRV", None),
        ("PNP0C04", "4&1b3eaf7&0", "Numeric data processor", "machine.inf", "NO_DRV", None),
        ("PNP0C01", "1", "System board", "machine.inf", "NO_DRV", None),
        ("PNP0C02", "2", "Motherboard resources", "machine.inf", "NO_DRV", None),
        ("PNP0C02", "3", "Motherboard resources", "machine.inf", "NO_DRV", None),
        ("FixedButton", "2&daba3ff&1", "ACPI Fixed Feature Button", "machine.inf", "NO_DRV", None),
        ("PNP0C0E", "2&daba3ff&1", "ACPI Sleep Button", "machine.inf", "NO_DRV", "button"),
        ("ThermalZone", "TZ00", "ACPI Thermal Zone", "machine.inf", "NO_DRV", None),
        ("PNP0501", "1", "Communications Port (COM1)", "msports.inf", "ComPort", "Serial"),
    ]:
        cls = "Ports" if name == "PNP0501" else "System"
        match = "*" + name.lower() if not name[0].isupper() or name.startswith("PNP") else "acpi\\" + name.lower()
        m.add(f"ACPI\\{name}\\{inst}", desc, acpi(name), cls=cls, service=service,
              mfg="(Standard port types)" if cls == "Ports" else std,
              drv=ms(inf, section, match), friendly="Communications Port (COM1)" if cls == "Ports" else None)
    m.add("ACPI\\MSFT0101\\1", "Trusted Platform Module 2.0", acpi("MSFT0101"), cls="SecurityDevices",
          service="TPM", mfg="(Standard)", drv=ms("tpm.inf", "Tpm2BaseInstall", "acpi\\msft0101"))
    # Data fabric functions and the internal bridges of the Matisse package.
    for dev, fn in [("1440", "C0"), ("1441", "C1"), ("1442", "C2"), ("1443", "C3"),
                    ("1444", "C4"), ("1445", "C5"), ("1446", "C6"), ("1447", "C7")]:
        hw, compat = pci("1022", dev, "00000000", "00", "060000")
        m.add(f"PCI\\VEN_1022&DEV_{dev}&SUBSYS_00000000&REV_00\\3&11583659&0&{fn}",
              "PCI standard host CPU bridge", hw, compat, mfg=std,
              drv=ms("machine.inf", "NO_DRV", "pci\\cc_0600"),
              loc=f"PCI bus 0, device 24, function {int(fn[1])}")
    for dev, fn, desc, cc, section in [
        ("1481", "00", "AMD IOMMU", "080600", "NO_DRV"),
        ("1484", "3A", "PCI Express Upstream Switch Port", "060400", "PCI_DRV"),
        ("57AD", "0008", "PCI Express Upstream Switch Port", "060400", "PCI_DRV"),
        ("57A3", "0108", "PCI Express Downstream Switch Port", "060400", "PCI_DRV"),
        ("57A4", "0208", "PCI Express Downstream Switch Port", "060400", "PCI_DRV"),
        ("1485", "0041", "PCI standard host CPU bridge", "130000", "NO_DRV"),
    ]:
        hw, compat = pci("1022", dev, "14531022", "00", cc)
        match = "pci\\cc_" + cc[:4] if section != "NO_DRV" or cc != "080600" else "pci\\ven_1022&dev_1481"
        m.add(f"PCI\\VEN_1022&DEV_{dev}&SUBSYS_14531022&REV_00\\4&2d9b4b0a&0&{fn}", desc, hw, compat,
              service="pci" if section == "PCI_DRV" else None, mfg=std,
              drv=ms("machine.inf", section, match), loc=f"PCI bus 0, device 1, function 2")
    # The AMD chipset's SATA controller behind the B450 bridge, with AMD's driver.
    hw, compat = pci("1022", "43C8", "10621B21", "01", "010601")
    m.add("PCI\\VEN_1022&DEV_43C8&SUBSYS_10621B21&REV_01\\4&3a9c1b76&0&010A",
          "AMD SATA Controller", hw, compat, cls="SCSIAdapter", service="rcbottom",
          drv=m.oem("oem21.inf", "AMD SATA Controller", "Advanced Micro Devices, Inc", "1-31-2019",
                    "9.3.0.120", "rcbottom_Inst", "PCI\\VEN_1022&DEV_43C8", services="rcbottom",
                    cls="SCSIAdapter"),
          loc="PCI bus 1, device 0, function 1")
    # USB: the chipset's root hub children, webcam, printer, hub, game pad.
    m.add("USB\\VID_05E3&PID_0610\\6&2f1b0e6&0&1", "Generic USB Hub",
          *usb("05E3", "0610", "9226", ("09", "00", "02")), cls="USB", service="USBHUB3",
          mfg="(Generic USB Hub)", drv=ms("usbhub3.inf", "Generic.Install.NT", "usb\\class_09"),
          loc="Port_#0001.Hub_#0002", caps=0x84, state="removable", bus_desc="USB2.0 Hub")
    m.add("USB\\VID_046D&PID_0825\\6&2f1b0e6&0&3", "USB Composite Device",
          *usb("046D", "0825", "0012", ("COMPOSITE", None, None)), cls="USB", service="usbccgp",
          mfg="(Standard USB Host Controller)", drv=ms("usb.inf", "Composite.Dev.NT", "usb\\composite"),
          loc="Port_#0003.Hub_#0002", caps=0x84, state="removable", bus_desc="C270 HD WEBCAM",
          extra=[("ParentIdPrefix", '"7&1c9e4f21&0"')])
    m.add("USB\\VID_046D&PID_0825&MI_00\\7&1c9e4f21&0&0000", "USB Video Device",
          *usb("046D", "0825", "0012", ("0E", "03", "00"), mi="00"), cls="Camera", service="usbvideo",
          mfg="(Generic USB Video Class)", friendly="Logitech HD Webcam C270",
          drv=ms("usbvideo.inf", "USBVideo.NT", "usb\\class_0e&subclass_03"), caps=0xa0,
          bus_desc="C270 HD WEBCAM")
    m.add("USB\\VID_046D&PID_0825&MI_02\\7&1c9e4f21&0&0002", "USB Audio Device",
          *usb("046D", "0825", "0012", ("01", "01", "00"), mi="02"), cls="MEDIA", service="usbaudio",
          mfg="(Generic USB Audio)", drv=ms("wdma_usb.inf", "USBAudio", "usb\\class_01"), caps=0xa0,
          bus_desc="C270 HD WEBCAM")
    m.add("SWD\\MMDEVAPI\\{0.0.1.00000000}.{3f8a2c51-9d4e-4b07-8e1a-5c2d7f90b634}", "Microphone",
          ["MMDEVAPI\\AudioEndpoints"], cls="AudioEndpoint", mfg="Microsoft",
          friendly="Microphone (C270 HD WEBCAM)",
          drv=ms("audioendpoint.inf", "NO_DRV", "mmdevapi\\audioendpoints", "Audio Endpoint"), caps=0xe0)
    m.add("SWD\\MMDEVAPI\\{0.0.0.00000000}.{b41e7d2c-6a05-4f3b-9c28-1e7f4a6d2b95}", "Realtek Digital Output",
          ["MMDEVAPI\\AudioEndpoints"], cls="AudioEndpoint", mfg="Microsoft",
          friendly="Realtek Digital Output (Realtek High Definition Audio)",
          drv=ms("audioendpoint.inf", "NO_DRV", "mmdevapi\\audioendpoints", "Audio Endpoint"), caps=0xe0)
    m.add("SWD\\MMDEVAPI\\{0.0.1.00000000}.{c7d93e18-2b4f-4a61-8d05-9e3b1f6c2a47}", "Line In",
          ["MMDEVAPI\\AudioEndpoints"], cls="AudioEndpoint", mfg="Microsoft",
          friendly="Line In (Realtek High Definition Audio)",
          drv=ms("audioendpoint.inf", "NO_DRV", "mmdevapi\\audioendpoints", "Audio Endpoint"), caps=0xe0)
    # HP LaserJet on the USB hub: the printing function and its USBPRINT child.
    m.add("USB\\VID_03F0&PID_2B17\\VNB3K12345", "USB Printing Support",
          *usb("03F0", "2B17", "0100", ("07", "01", "02")), cls="USB", service="usbprint",
          mfg="Microsoft", drv=ms("usbprint.inf", "NO_DRV", "usb\\class_07", "USB Printing Support"),
          loc="Port_#0002.Hub_#0002", caps=0x94, state="removable", bus_desc="HP LaserJet 1020",
          extra=[("ParentIdPrefix", '"7&2e4c1d8a&0"')])
    m.add("USBPRINT\\Hewlett-PackardHP_LaA3B4\\7&2e4c1d8a&0&USB001", "HP LaserJet 1020",
          ["USBPRINT\\Hewlett-PackardHP_LaA3B4", "Hewlett-PackardHP_LaA3B4"], cls="Printer",
          drv=m.oem("oem23.inf", "HP LaserJet 1020", "HP", "6-21-2006", "61.063.461.42",
                    "HPLJ1020", "USBPRINT\\Hewlett-PackardHP_LaA3B4", mfg="HP", cls="Printer",
                    files=["hpz3r4lj.dll"]), caps=0x0)
    m.add("SWD\\PRINTENUM\\{7D2E1A4C-3B5F-4C8E-9A1D-2F6B8E4C7A30}", "HP LaserJet 1020",
          ["PRINTENUM\\{0a7b1c2d-3e4f-4a5b-8c6d-7e8f9a0b1c2d}", "PRINTENUM\\LocalPrintQueue"],
          ["GenPrintQueue", "SWD\\GenericRaw", "SWD\\Generic"], cls="PrintQueue", mfg="Microsoft",
          drv=ms("printqueue.inf", "NO_DRV", "genprintqueue", "Local Print Queue"), caps=0xe0)
    m.add("SWD\\PRINTENUM\\{1B9C4E7A-6D2F-4A3B-8E5C-0F7A9D2B4C61}", "Microsoft XPS Document Writer",
          ["PRINTENUM\\{0f4130dd-19c7-7ab6-99a1-980f03b2ee4e}", "PRINTENUM\\LocalPrintQueue"],
          ["GenPrintQueue", "SWD\\GenericRaw", "SWD\\Generic"], cls="PrintQueue", mfg="Microsoft",
          drv=ms("printqueue.inf", "NO_DRV", "genprintqueue", "Local Print Queue"), caps=0xe0)
    m.add("SWD\\PRINTENUM\\{4E8A2D1C-9B7F-4C3E-A6D5-1F2B8C7E9A04}", "Fax",
          ["PRINTENUM\\{b9c4e8a2-d1c9-4f7c-8e3a-6d5f1b2c8e7a}", "PRINTENUM\\LocalPrintQueue"],
          ["GenPrintQueue", "SWD\\GenericRaw", "SWD\\Generic"], cls="PrintQueue", mfg="Microsoft",
          drv=ms("printqueue.inf", "NO_DRV", "genprintqueue", "Local Print Queue"), caps=0xe0)
    # Xbox controller, plugged in once and gone: a past device.
    m.add("USB\\VID_045E&PID_02EA\\3032363030303234", "Xbox One Controller",
          *usb("045E", "02EA", "0408", ("FF", "47", "D0")), cls="USB", service="xboxgip",
          mfg="Microsoft", drv=ms("xboxgip.inf", "XboxGip.Install", "usb\\ms_comp_xgip10"),
          loc="Port_#0005.Hub_#0001", caps=0x94, state="past")
    # The receiver's third interface, and a Corsair keyboard with its HID collections.
    m.add("USB\\VID_046D&PID_C52B&MI_02\\7&3a1f0e8c&0&0002", "USB Input Device",
          *usb("046D", "C52B", "2411", ("03", "00", "00"), mi="02"), cls="HIDClass", service="HidUsb",
          mfg="(Standard system devices)", drv=ms("input.inf", "HID_Inst.NT", "usb\\class_03"),
          loc="0000.0014.0000.002.000.000.000.000.000", caps=0xa0, bus_desc="USB Receiver")
    for col in ("01", "02"):
        m.add(f"HID\\VID_046D&PID_C52B&MI_02&COL{col}\\8&1e4d2b7a&0&00{int(col) - 1:02d}",
              "HID-compliant vendor-defined device",
              [f"HID\\VID_046D&PID_C52B&REV_2411&MI_02&Col{col}", f"HID\\VID_046D&PID_C52B&MI_02&Col{col}",
               "HID\\VID_046D&UP:FF00_U:0001", "HID_DEVICE_UP:FF00_U:0001", "HID_DEVICE"],
              cls="HIDClass", mfg="(Standard system devices)",
              drv=ms("input.inf", "HID_Raw_Inst.NT", "hid_device_up:ff00_u:0001"), caps=0xa0)
    m.add("USB\\VID_1B1C&PID_1B13\\0A01C025AEA50C2E5A5B9C8AF5001943", "USB Composite Device",
          *usb("1B1C", "1B13", "0205", ("COMPOSITE", None, None)), cls="USB", service="usbccgp",
          mfg="(Standard USB Host Controller)", drv=ms("usb.inf", "Composite.Dev.NT", "usb\\composite"),
          loc="Port_#0001.Hub_#0001", caps=0x84, state="removable", bus_desc="Corsair K70 RGB Gaming Keyboard",
          extra=[("ParentIdPrefix", '"7&2c5e8f1b&0"')])
    for mi, prot in (("00", "01"), ("01", "00")):
        m.add(f"USB\\VID_1B1C&PID_1B13&MI_{mi}\\7&2c5e8f1b&0&00{mi}", "USB Input Device",
              *usb("1B1C", "1B13", "0205", ("03", "01" if mi == "00" else "00", prot), mi=mi),
              cls="HIDClass", service="HidUsb", mfg="(Standard system devices)",
              drv=ms("input.inf", "HID_Inst.NT", "usb\\class_03"), caps=0xa0,
              bus_desc="Corsair K70 RGB Gaming Keyboard")
    m.add("HID\\VID_1B1C&PID_1B13&MI_00\\8&3b7c1e2d&0&0000", "HID Keyboard Device",
          ["HID\\VID_1B1C&PID_1B13&REV_0205&MI_00", "HID\\VID_1B1C&PID_1B13&MI_00",
           "HID\\VID_1B1C&UP:0001_U:0006", "HID_DEVICE_SYSTEM_KEYBOARD", "HID_DEVICE_UP:0001_U:0006", "HID_DEVICE"],
          cls="Keyboard", service="kbdhid", mfg="(Standard keyboards)",
          drv=ms("keyboard.inf", "HID_Keyboard_Inst.NT", "hid_device_system_keyboard"), caps=0xa0)
    m.add("HID\\VID_1B1C&PID_1B13&MI_01&COL01\\8&1a6f3d9e&0&0000", "HID-compliant consumer control device",
          ["HID\\VID_1B1C&PID_1B13&REV_0205&MI_01&Col01", "HID\\VID_1B1C&PID_1B13&MI_01&Col01",
           "HID\\VID_1B1C&UP:000C_U:0001", "HID_DEVICE_UP:000C_U:0001", "HID_DEVICE"],
          cls="HIDClass", mfg="Microsoft", drv=ms("hidserv.inf", "HIDServ_Inst.NT", "hid_device_up:000c_u:0001"),
          caps=0xa0)
    m.add("HID\\VID_1B1C&PID_1B13&MI_01&COL02\\8&1a6f3d9e&0&0001", "HID-compliant system controller",
          ["HID\\VID_1B1C&PID_1B13&REV_0205&MI_01&Col02", "HID\\VID_1B1C&PID_1B13&MI_01&Col02",
           "HID\\VID_1B1C&UP:0001_U:0080", "HID_DEVICE_SYSTEM_CONTROL", "HID_DEVICE_UP:0001_U:0080", "HID_DEVICE"],
          cls="HIDClass", mfg="(Standard system devices)",
          drv=ms("machine.inf", "NO_DRV", "hid_device_system_control"), caps=0xa0)
    # The stick's portable-device node, gone with the stick.
    m.add("SWD\\WPDBUSENUM\\_??_USBSTOR#Disk&Ven_SanDisk&Prod_Cruzer_Blade&Rev_1.00#7&2b1a9c3&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}",
          "E:\\", ["SWD\\WPDBUSENUM\\{a5b1c2d3-4e5f-6071-8293-a4b5c6d7e8f9}", "SWD\\WPDBUSENUM\\GenericVolume"],
          ["SWD\\Generic"], cls="WPD", service="WUDFWpdFs", mfg="Microsoft", friendly="E:\\",
          drv=ms("wpdfs.inf", "Basic_Install", "swd\\wpdbusenum\\genericvolume", "Generic volume"),
          caps=0xe0, state="past")
    for path, desc, hwid, service, inf, section, cls in [
        ("SWD\\MMDEVAPI\\MicrosoftGSWavetableSynth", "Microsoft GS Wavetable Synth", "MMDEVAPI\\MicrosoftGSWavetableSynth", None, "wdma_usb.inf", "WDM_GSWavetable", "MEDIA"),
        ("SWD\\RADIO\\{3DB5895D-CC28-44B3-AD3D-6F01A782B8D2}", "Microsoft Radio Device Enumeration Bus", "SWD\\RADIO", "RadioMgr", "radiomgr.inf", "RadioMgr", "System"),
        ("ROOT\\VID\\0000", "Microsoft Hyper-V Virtualization Infrastructure Driver", "ROOT\\VID", "Vid", "wvid.inf", "Vid_Device.NT", "System"),
    ]:
        m.add(path, desc, [hwid], cls=cls, service=service, mfg="Microsoft",
              drv=ms(inf, section, hwid.lower()), caps=0xe0 if path.startswith("SWD") else 0)
    # Bluetooth stack and a paired headset.
    for inst, desc, hwid, service in [
        ("BTH\\MS_BTHBRB\\7&1d3b6f02&0&1", "Microsoft Bluetooth Enumerator", "BTH\\MS_BTHBRB", "BthEnum"),
        ("BTH\\MS_BTHLE\\7&1d3b6f02&0&2", "Microsoft Bluetooth LE Enumerator", "BTH\\MS_BTHLE", "BthLEEnum"),
        ("BTH\\MS_RFCOMM\\7&1d3b6f02&0&0", "Bluetooth Device (RFCOMM Protocol TDI)", "BTH\\MS_RFCOMM", "RFCOMM"),
        ("BTH\\MS_BTHPAN\\7&1d3b6f02&0&2", "Bluetooth Device (Personal Area Network)", "BTH\\MS_BTHPAN", "BthPan"),
    ]:
        cls = "Net" if "PAN" in hwid else "Bluetooth"
        m.add(inst, desc, [hwid], cls=cls, service=service, mfg="Microsoft",
              drv=ms("bth.inf" if cls == "Bluetooth" else "bthpan.inf", "BthEnum.NT" if cls == "Bluetooth"
                     else "BthPan.Install", hwid.lower()), caps=0x80)
    m.add("BTHENUM\\{0000110b-0000-1000-8000-00805f9b34fb}_VID&0002054c_PID&0ce0\\8&3a51d2c7&0&ACCFE8B5A1D2_C00000000",
          "WH-1000XM4 Stereo", ["BTHENUM\\{0000110b-0000-1000-8000-00805f9b34fb}_VID&0002054c_PID&0ce0",
                                "BTHENUM\\{0000110b-0000-1000-8000-00805f9b34fb}_LOCALMFG&0002"],
          cls="MEDIA", service="BthA2dp", mfg="Microsoft",
          drv=ms("btha2dp.inf", "BthA2DP.NT", "bthenum\\{0000110b-0000-1000-8000-00805f9b34fb}",
                 "Microsoft Bluetooth A2dp Source"), caps=0x80, state="past")
    # Software and root-enumerated devices of a Windows 10 install.
    for path, desc, hwid, service, inf, section, cls in [
        ("ROOT\\COMPOSITEBUS\\0000", "Composite Bus Enumerator", "ROOT\\CompositeBus", "CompositeBus", "compositebus.inf", "CompositeBus_Device.NT", "System"),
        ("ROOT\\NDISVIRTUALBUS\\0000", "NDIS Virtual Network Adapter Enumerator", "ROOT\\NdisVirtualBus", "NdisVirtualBus", "ndisvirtualbus.inf", "NdisVirtualBus_Device.NT", "System"),
        ("ROOT\\RDPBUS\\0000", "Remote Desktop Device Redirector Bus", "ROOT\\RDPBUS", "rdpbus", "rdpbus.inf", "RDPBUS", "System"),
        ("ROOT\\SPACEPORT\\0000", "Microsoft Storage Spaces Controller", "Root\\Spaceport", "spaceport", "spaceport.inf", "Spaceport_Install", "SCSIAdapter"),
        ("ROOT\\VOLMGR\\0000", "Volume Manager", "ROOT\\VOLMGR", "volmgr", "machine.inf", "VOLMGR_DRV", "System"),
        ("ROOT\\KDNIC\\0000", "Microsoft Kernel Debug Network Adapter", "root\\kdnic", "kdnic", "kdnic.inf", "KdNic.ndi", "Net"),
        ("SWD\\MSRRAS\\MS_NDISWANIPV6", "WAN Miniport (IPv6)", "ms_ndiswanipv6", "NdisWan", "netrasa.inf", "Ndi-Mp-Ipv6", "Net"),
        ("SWD\\MSRRAS\\MS_NDISWANBH", "WAN Miniport (Network Monitor)", "ms_ndiswanbh", "NdisWan", "netrasa.inf", "Ndi-Mp-Bh", "Net"),
        ("SWD\\MSRRAS\\MS_L2TPMINIPORT", "WAN Miniport (L2TP)", "ms_l2tpminiport", "Rasl2tp", "netrast.inf", "Ndi-Mp-L2tp", "Net"),
        ("SWD\\MSRRAS\\MS_PPTPMINIPORT", "WAN Miniport (PPTP)", "ms_pptpminiport", "PptpMiniport", "netrast.inf", "Ndi-Mp-Pptp", "Net"),
        ("SWD\\MSRRAS\\MS_PPPOEMINIPORT", "WAN Miniport (PPPOE)", "ms_pppoeminiport", "RasPppoe", "netrast.inf", "Ndi-Mp-Pppoe", "Net"),
        ("SWD\\MSRRAS\\MS_SSTPMINIPORT", "WAN Miniport (SSTP)", "ms_sstpminiport", "RasSstp", "netsstpa.inf", "Ndi-Mp-Sstp", "Net"),
        ("SWD\\MSRRAS\\MS_AGILEVPNMINIPORT", "WAN Miniport (IKEv2)", "ms_agilevpnminiport", "RasAgileVpn", "netavpna.inf", "Ndi-Mp-AgileVpn", "Net"),
        ("SWD\\IP_TUNNEL_VBUS\\IP_TUNNEL_DEVICE_ROOT", "Microsoft IP-HTTPS Platform Interface", "SWD\\IP_TUNNEL_VBUS\\IP_TUNNEL_DEVICE_ROOT", None, "machine.inf", "NO_DRV", "System"),
        ("SWD\\REMOTEDISPLAYENUM\\RDGFX", "Remote Desktop Graphics Device", "SWD\\REMOTEDISPLAYENUM\\RDGFX", None, "rdpidd.inf", "RdpIdd_Install", "Display"),
    ]:
        m.add(path, desc, [hwid], cls=cls, service=service, mfg="Microsoft",
              drv=ms(inf, section, hwid.lower()), caps=0xe0 if path.startswith("SWD") else 0)
    m.add("SWD\\DAFUPNPPROVIDER\\uuid:4a7c2e91-3b5d-4f68-a0c1-7e2d9b8f6a35", "Living Room TV",
          ["DAFUPNPPROVIDER\\MediaRenderer"], ["SWD\\Generic"], cls="SoftwareDevice", mfg="Microsoft",
          drv=ms("c_swdevice.inf", "SoftwareDevice_NoDrv", "swd\\generic", "Generic software device"),
          caps=0xe0)
    # Disks and volumes.
    for n, offset in enumerate(["0000000000100000", "0000000007500000", "000000003a200000", "0000000000008000"]):
        m.add(f"STORAGE\\Volume\\{{a6e1c4b2-3f1d-11eb-9b7e-806e6f6e6963}}#{offset}", "Volume",
              ["STORAGE\\Volume"], cls="Volume", service="volume", mfg="Microsoft",
              drv=ms("volume.inf", "volume_install.NT", "storage\\volume"), caps=0xb0)
    m.add("STORAGE\\VolumeSnapshot\\HarddiskVolumeSnapshot1", "Generic volume shadow copy",
          ["STORAGE\\VolumeSnapshot"], cls="Volume", service="volsnap", mfg="Microsoft",
          drv=ms("volsnap.inf", "volume_snapshot_install.NT", "storage\\volumesnapshot"), caps=0xb0)
    # A Realtek card reader whose driver update waits for a restart.
    m.add("USB\\VID_0BDA&PID_0129\\20100201396000000", "Realtek USB 2.0 Card Reader",
          *usb("0BDA", "0129", "3960", ("FF", "FF", "FF")), cls="USB", service="RTSUER",
          drv=m.oem("oem24.inf", "Realtek USB 2.0 Card Reader", "Realtek Semiconductor Corp.",
                    "5-13-2019", "10.0.18362.31254", "RTSUER.NT", "USB\\VID_0BDA&PID_0129",
                    services="RTSUER", cls="USB"),
          loc="Port_#0006.Hub_#0001", caps=0x94, state="restart")
    # A device a removed VPN client left without any ids.
    m.add("ROOT\\UNKNOWN\\0000", "Unknown device", cls="Unknown", state="past",
          comment="left behind by an uninstalled VPN client: no ids at all")
    # NVIDIA's software components and the virtual audio device of its driver.
    m.add("ROOT\\UNNAMED_DEVICE\\0000", "NVIDIA Virtual Audio Device (Wave Extensible) (WDM)",
          ["USB\\VID_0955&PID_9000"], cls="MEDIA", service="nvvad_WaveExtensible",
          drv=m.oem("oem25.inf", "NVIDIA Virtual Audio Device (Wave Extensible) (WDM)", "NVIDIA",
                    "9-7-2018", "4.13.0.0", "NVVAD.NT", "USB\\VID_0955&PID_9000", mfg="NVIDIA",
                    services="nvvad_WaveExtensible", cls="MEDIA"), caps=0)
    m.add("ROOT\\LEGACY_NPF\\0000", "NetGroup Packet Filter Driver", cls="LegacyDriver",
          extra=[("Service", '"NPF"'), ("Legacy", "dword:00000001")], state="root")
    return m


def laptop(Machine, pci, usb, acpi, hdaudio, cpu_ids, filetime_of):
    # Lenovo ThinkPad T410 (2522-WJ8): Core i5-520M, QM57, Intel HD graphics,
    # 82577LM, Centrino Advanced-N 6200, Conexant CX20585. German Windows 7.
    m = Machine("laptop-win7-x86", german=True, inbox=("6-21-2006", "6.1.7601.17514"), x86=True,
                times=(filetime_of("3-14-2011") + 36000000000 * 9, filetime_of("3-14-2011") + 36000000000 * 9,
                       filetime_of("11-2-2026") + 36000000000 * 7),
                removal=filetime_of("8-19-2024") + 36000000000 * 15, pdo_start=0x20)
    ms = m.ms
    std = "(Standardsystemgeräte)"
    chipset = lambda desc, dev, section="Needs_NO_DRV", service=None: m.oem(
        "oem1.inf", desc, "Intel", "7-2-2009", "9.1.1.1025", section, f"PCI\\VEN_8086&DEV_{dev}",
        mfg="Intel", cls="System")
    m.add("ROOT\\ACPI_HAL\\0000", "ACPI x86-basierter PC", ["acpiapic"], cls="Computer",
          mfg="(Standardcomputer)", drv=ms("hal.inf", "ACPI_AMD64_HAL", "acpiapic"), state="root")
    m.add("ACPI_HAL\\PNP0C08\\0", "Microsoft ACPI-konformes System", ["ACPI_HAL\\PNP0C08", "*PNP0C08"],
          service="ACPI", mfg="Microsoft", drv=ms("acpi.inf", "ACPI_Inst", "*pnp0c08"))
    cpu = "GenuineIntel_-_x86_Family_6_Model_37"
    for n in range(4):
        m.add(f"ACPI\\{cpu}\\_{n}", "Prozessor", cpu_ids("GenuineIntel", "x86", 6, 37),
              cls="Processor", service="intelppm",
              mfg="Intel", friendly="Intel(R) Core(TM) i5 CPU       M 520  @ 2.40GHz",
              drv=ms("cpu.inf", "IntelPPM_Inst.NT", "acpi\\genuineintel_-_x86", "Intel Processor"))
    for name, inst, desc, service, cls in [
        ("PNP0A08", "0", "PCI-Bus", "pci", "System"),
        ("PNP0000", "4&2a5d1e3&0", "Programmierbarer Interruptcontroller", None, "System"),
        ("PNP0100", "4&2a5d1e3&0", "Systemzeitgeber", None, "System"),
        ("PNP0103", "0", "Zeitgeber für Hochleistungsereignisse", None, "System"),
        ("PNP0200", "4&2a5d1e3&0", "Direkter Speicherzugriffscontroller", None, "System"),
        ("PNP0800", "4&2a5d1e3&0", "Systemlautsprecher", None, "System"),
        ("PNP0B00", "4&2a5d1e3&0", "System-CMOS/Echtzeituhr", None, "System"),
        ("PNP0C04", "4&2a5d1e3&0", "Numerischer Coprozessor", None, "System"),
        ("PNP0C02", "0", "Hauptplatinenressourcen", None, "System"),
        ("PNP0C02", "1", "Hauptplatinenressourcen", None, "System"),
        ("PNP0C02", "2", "Hauptplatinenressourcen", None, "System"),
        ("PNP0C0C", "2&daba3ff&1", "ACPI-Netzschalter", "button", "System"),
        ("PNP0C0D", "2&daba3ff&1", "ACPI-Deckel", "button", "System"),
        ("PNP0C0E", "2&daba3ff&1", "ACPI-Energiesparschalter", "button", "System"),
        ("ThermalZone", "THM0", "ACPI-Thermozone", None, "System"),
        ("PNP0C14", "0", "Microsoft Windows-Verwaltungsschnittstelle für ACPI", "WmiAcpi", "System"),
        ("PNP0303", "4&2a5d1e3&0", "Standardtastatur (PS/2)", "i8042prt", "Keyboard"),
        ("ACPI0003", "2&daba3ff&1", "Microsoft-Netzteil", "CmBatt", "Battery"),
        ("PNP0C0A", "1", "Microsoft ACPI-konforme Kontrollmethodenbatterie", "CmBatt", "Battery"),
    ]:
        inf = {"Keyboard": "keyboard.inf", "Battery": "cmbatt.inf"}.get(cls, "machine.inf")
        m.add(f"ACPI\\{name}\\{inst}", desc, acpi(name), cls=cls, service=service,
              mfg="(Standardtastaturen)" if cls == "Keyboard" else "Microsoft" if cls == "Battery" else std,
              drv=ms(inf, "NO_DRV" if service is None else "STANDARD_Inst", "*" + name.lower()))
    m.add("ACPI\\IBM3780\\4&2a5d1e3&0", "ThinkPad UltraNav Pointing Device", acpi("IBM3780"),
          ["*PNP0F13"], cls="Mouse", service="SynTP",
          drv=m.oem("oem6.inf", "ThinkPad UltraNav Pointing Device", "Synaptics", "11-2-2010",
                    "15.2.20.0", "SynTP_Inst", "*IBM3780", mfg="Synaptics", services="SynTP",
                    cls="Mouse"))
    m.add("ACPI\\IBM0068\\4&2a5d1e3&0", "ThinkPad Power Management Device", acpi("IBM0068"),
          service="IBMPMDRV",
          drv=m.oem("oem7.inf", "ThinkPad Power Management Device", "Lenovo", "5-27-2010",
                    "1.62.0.0", "IBMPMDRV_Inst", "ACPI\\IBM0068", mfg="Lenovo", services="IBMPMDRV"))
    m.add("ACPI\\LEN0068\\4&2a5d1e3&0", "Lenovo PM Device", acpi("LEN0068"), service="LenovoPM",
          drv=m.oem("oem8.inf", "Lenovo PM Device", "Lenovo", "5-27-2010", "1.0.0.12",
                    "LenovoPM_Inst", "ACPI\\LEN0068", mfg="Lenovo", services="LenovoPM"))
    m.add("ACPI\\ATM1200\\4&2a5d1e3&0", "Trusted Platform Module 1.2", acpi("ATM1200"),
          cls="SecurityDevices", service="TPM", mfg="(Standard)",
          drv=ms("tpm.inf", "Tpm_Inst", "acpi\\pnp0c31"))
    # PCI: processor uncore, chipset and the parts behind the root ports.
    for dev, bus, fn, desc in [
        ("2C62", 255, "00", "Intel(R) Core(TM) Processor QuickPath Architecture Generic Non-core Registers - 2C62"),
        ("2D01", 255, "01", "Intel(R) Core(TM) Processor QuickPath Architecture System Address Decoder - 2D01"),
        ("2D10", 255, "10", "Intel(R) Core(TM) Processor QPI Link 0 - 2D10"),
        ("2D11", 255, "11", "Intel(R) Core(TM) Processor QPI Physical 0 - 2D11"),
        ("2D12", 255, "12", "Intel(R) Core(TM) Processor Reserved - 2D12"),
        ("2D13", 255, "13", "Intel(R) Core(TM) Processor Reserved - 2D13"),
    ]:
        hw, compat = pci("8086", dev, "80868086", "02", "060000")
        m.add(f"PCI\\VEN_8086&DEV_{dev}&SUBSYS_80868086&REV_02\\3&2411e6fe&1&{fn}", desc, hw, compat,
              mfg="Intel", drv=chipset(desc, dev), loc=f"PCI-Bus {bus}, Gerät 0, Funktion {int(fn[-1])}")
    rows = [
        ("0044", "02", "060000", "00", "PCI-Standard-Host-CPU-Brücke", None, None),
        ("3B42", "06", "060400", "E0", "Intel(R) 5 Series/3400 Series Chipset Family PCI Express Root Port 1 - 3B42", "pci", None),
        ("3B44", "06", "060400", "E1", "Intel(R) 5 Series/3400 Series Chipset Family PCI Express Root Port 2 - 3B44", "pci", None),
        ("3B4A", "06", "060400", "E4", "Intel(R) 5 Series/3400 Series Chipset Family PCI Express Root Port 5 - 3B4A", "pci", None),
        ("2448", "A6", "060401", "F0", "Intel(R) 82801 PCI-Brücke - 2448", "pci", None),
        ("3B07", "06", "060100", "F8", "Intel(R) QM57 Express Chipset LPC Interface Controller - 3B07", "msisadrv", None),
        ("3B30", "06", "0C0500", "FB", "Intel(R) 5 Series/3400 Series Chipset Family SMBus Controller - 3B30", None, None),
        ("3B32", "06", "118000", "FE", "Intel(R) 5 Series/3400 Series Chipset Family Thermal Subsystem - 3B32", None, None),
        ("3B3C", "06", "0C0320", "D0", "Intel(R) 5 Series/3400 Series Chipset Family USB Enhanced Host Controller - 3B3C", "usbehci", "USB"),
        ("3B34", "06", "0C0320", "E8", "Intel(R) 5 Series/3400 Series Chipset Family USB Enhanced Host Controller - 3B34", "usbehci", "USB"),
    ]
    for dev, rev, cc, fn, desc, service, cls in rows:
        hw, compat = pci("8086", dev, "215617AA", rev, cc)
        m.add(f"PCI\\VEN_8086&DEV_{dev}&SUBSYS_215617AA&REV_{rev}\\3&21436425&0&{fn}", desc, hw, compat,
              cls=cls or "System", service=service, mfg="Intel",
              drv=ms("machine.inf", "NO_DRV", "pci\\cc_0600") if dev == "0044" else
              m.oem("oem2.inf", desc, "Intel", "7-2-2009", "9.1.1.1025", "Needs_EHCI" if cls else "Needs_NO_DRV",
                    f"PCI\\VEN_8086&DEV_{dev}", mfg="Intel", cls=cls or "System"),
              loc=f"PCI-Bus 0, Gerät {int(fn, 16) >> 3}, Funktion {int(fn, 16) & 7}")
    hw, compat = pci("8086", "3B56", "215717AA", "06", "040300")
    m.add("PCI\\VEN_8086&DEV_3B56&SUBSYS_215717AA&REV_06\\3&21436425&0&D8", "High Definition Audio-Controller",
          hw, compat, service="HDAudBus", mfg="Microsoft",
          drv=ms("hdaudbus.inf", "HDAudio_Device.NT", "pci\\cc_0403"), loc="PCI-Bus 0, Gerät 27, Funktion 0")
    hw, compat = pci("8086", "3B2F", "215717AA", "06", "010601")
    m.add("PCI\\VEN_8086&DEV_3B2F&SUBSYS_215717AA&REV_06\\3&21436425&0&FA",
          "Intel(R) 5 Series 4 Port SATA AHCI Controller", hw, compat, cls="HDC", service="iaStor",
          drv=m.oem("oem3.inf", "Intel(R) 5 Series 4 Port SATA AHCI Controller", "Intel Corporation",
                    "3-17-2010", "9.6.0.1014", "iaStor_Inst_mobl", "PCI\\VEN_8086&DEV_3B2F&CC_0106",
                    mfg="Intel Corporation", services="iaStor", cls="HDC"),
          loc="PCI-Bus 0, Gerät 31, Funktion 2")
    hw, compat = pci("8086", "3B64", "215A17AA", "06", "078000")
    m.add("PCI\\VEN_8086&DEV_3B64&SUBSYS_215A17AA&REV_06\\3&21436425&0&B0",
          "Intel(R) Management Engine Interface", hw, compat, service="HECIx86",
          drv=m.oem("oem4.inf", "Intel(R) Management Engine Interface", "Intel", "12-14-2009",
                    "6.0.0.1179", "HECI_Inst", "PCI\\VEN_8086&DEV_3B64", services="HECIx86"),
          loc="PCI-Bus 0, Gerät 22, Funktion 0")
    hw, compat = pci("8086", "3B67", "215D17AA", "06", "070002")
    m.add("PCI\\VEN_8086&DEV_3B67&SUBSYS_215D17AA&REV_06\\3&21436425&0&B3",
          "Intel(R) Active Management Technology - SOL", hw, compat, cls="Ports", service="Serial",
          friendly="Intel(R) Active Management Technology - SOL (COM3)",
          drv=m.oem("oem5.inf", "Intel(R) Active Management Technology - SOL", "Intel", "9-23-2009",
                    "6.0.0.1179", "SOL_Inst", "PCI\\VEN_8086&DEV_3B67", cls="Ports", services="Serial",
                    files=["serial.sys"]),
          loc="PCI-Bus 0, Gerät 22, Funktion 3")
    hw, compat = pci("8086", "0046", "215A17AA", "02", "030000")
    m.add("PCI\\VEN_8086&DEV_0046&SUBSYS_215A17AA&REV_02\\3&21436425&0&10", "Intel(R) HD Graphics",
          hw, compat, cls="Display", service="igfx",
          drv=m.oem("oem9.inf", "Intel(R) HD Graphics", "Intel Corporation", "2-2-2011", "8.15.10.2302",
                    "iILKM0", "PCI\\VEN_8086&DEV_0046", mfg="Intel Corporation", services="igfx",
                    cls="Display", files=["igdkmd32.sys", "igdumd32.dll"]),
          loc="PCI-Bus 0, Gerät 2, Funktion 0")
    hw, compat = pci("8086", "10EA", "215F17AA", "06", "020000")
    m.add("PCI\\VEN_8086&DEV_10EA&SUBSYS_215F17AA&REV_06\\3&21436425&0&C8",
          "Intel(R) 82577LM Gigabit Network Connection", hw, compat, cls="Net", service="e1kexpress",
          drv=m.oem("oem10.inf", "Intel(R) 82577LM Gigabit Network Connection", "Intel", "6-15-2010",
                    "11.6.92.0", "E10EA", "PCI\\VEN_8086&DEV_10EA", services="e1kexpress", cls="Net",
                    files=["e1k6232.sys"]),
          loc="PCI-Bus 0, Gerät 25, Funktion 0")
    hw, compat = pci("8086", "4239", "13168086", "35", "028000")
    m.add("PCI\\VEN_8086&DEV_4239&SUBSYS_13168086&REV_35\\4&1c1e0a23&0&00E1",
          "Intel(R) Centrino(R) Advanced-N 6200 AGN", hw, compat, cls="Net", service="NETw5s32",
          drv=m.oem("oem11.inf", "Intel(R) Centrino(R) Advanced-N 6200 AGN", "Intel", "8-19-2010",
                    "13.4.0.139", "Install_MPCIEX_GEN_6200_AGN", "PCI\\VEN_8086&DEV_4239&SUBSYS_13168086",
                    mfg="Intel Corporation", services="NETw5s32", cls="Net", files=["NETw5s32.sys"]),
          loc="PCI-Bus 2, Gerät 0, Funktion 0")
    hw, compat = pci("1180", "E822", "215817AA", "03", "080500")
    m.add("PCI\\VEN_1180&DEV_E822&SUBSYS_215817AA&REV_03\\4&39a1f3c5&0&20E4",
          "SD-Hostcontroller, kompatibel mit SDA-Standard", hw, compat, service="sdbus",
          mfg="Standard-SD-Hostcontroller",
          drv=ms("sdbus.inf", "SDHostStandard.NT", "pci\\cc_080501"), loc="PCI-Bus 13, Gerät 0, Funktion 0")
    # The Ricoh memory stick reader without its driver: the failed device.
    hw, compat = pci("1180", "E230", "215817AA", "02", "088000")
    m.add("PCI\\VEN_1180&DEV_E230&SUBSYS_215817AA&REV_02\\4&39a1f3c5&0&21E4", "Basissystemgerät",
          hw, compat, cls="Unknown", loc="PCI-Bus 13, Gerät 0, Funktion 1", state="failed",
          bus_desc="PCI-Basissystemgerät")
    a, b = hdaudio("14F1", "5069", "17AA2156", "1003")
    m.add("HDAUDIO\\FUNC_01&VEN_14F1&DEV_5069&SUBSYS_17AA2156&REV_1003\\4&1f2a4b8c&0&0001",
          "Conexant 20585 SmartAudio HD", a, b, cls="MEDIA", service="CnxtHdAudService",
          drv=m.oem("oem12.inf", "Conexant 20585 SmartAudio HD", "Conexant", "7-30-2010",
                    "4.119.0.60", "CnxtHdAudio", "HDAUDIO\\FUNC_01&VEN_14F1&DEV_5069&SUBSYS_17AA2156",
                    services="CnxtHdAudService", cls="MEDIA", files=["CHDRT32.sys"]),
          loc="Interner High Definition Audio-Bus")
    a, b = hdaudio("8086", "2804", "80860101", "1000")
    m.add("HDAUDIO\\FUNC_01&VEN_8086&DEV_2804&SUBSYS_80860101&REV_1000\\4&1f2a4b8c&0&0301",
          "Intel(R) Display-Audio", a, b, cls="MEDIA", service="IntcDAud",
          drv=m.oem("oem13.inf", "Intel(R) Display-Audio", "Intel(R) Corporation", "10-19-2010",
                    "6.12.0.3047", "IntcDAud", "HDAUDIO\\FUNC_01&VEN_8086&DEV_2804",
                    mfg="Intel(R) Corporation", services="IntcDAud", cls="MEDIA", files=["IntcDAud.sys"]),
          loc="Interner High Definition Audio-Bus", state="restart")
    # USB.
    for inst, dev in [("4&2b1c8a7e&0", "3B3C"), ("4&1d9e3c21&0", "3B34")]:
        m.add(f"USB\\ROOT_HUB20\\{inst}", "USB-Root-Hub",
              [f"USB\\ROOT_HUB20&VID8086&PID{dev}&REV0006", f"USB\\ROOT_HUB20&VID8086&PID{dev}", "USB\\ROOT_HUB20"],
              cls="USB", service="usbhub", mfg="(Standard-USB-Hostcontroller)",
              drv=ms("usbport.inf", "ROOTHUB.Dev.NT", "usb\\root_hub20"))
    for inst in ["5&3a2b1c8d&0&1", "5&1e7d4f2a&0&1"]:
        m.add(f"USB\\VID_8087&PID_0020\\{inst}", "Generischer USB-Hub",
              *usb("8087", "0020", "0000", ("09", "00", "01")), cls="USB", service="usbhub",
              mfg="(Generischer USB-Hub)", drv=ms("usb.inf", "HUB20.Dev.NT", "usb\\class_09"),
              loc="Port_#0001.Hub_#0001", caps=0x84)
    m.add("USB\\VID_17EF&PID_4816\\6&2f3e1a9c&0&6", "USB-Verbundgerät",
          *usb("17EF", "4816", "0100", ("COMPOSITE", None, None)), cls="USB", service="usbccgp",
          mfg="(Standard-USB-Hostcontroller)", drv=ms("usb.inf", "Composite.Dev.NT", "usb\\composite"),
          loc="Port_#0006.Hub_#0003", caps=0x84, extra=[("ParentIdPrefix", '"7&1a9f2c3e&0"')])
    m.add("USB\\VID_17EF&PID_4816&MI_00\\7&1a9f2c3e&0&0000", "Integrated Camera",
          *usb("17EF", "4816", "0100", ("0E", "03", "00"), mi="00"), cls="Image", service="RtsUvc",
          drv=m.oem("oem14.inf", "Integrated Camera", "Realtek Semiconductor Corp.", "8-4-2010",
                    "5.8.52.104", "RtsUvc", "USB\\VID_17EF&PID_4816&MI_00",
                    services="RtsUvc", cls="Image", files=["RtsUvc.sys"]),
          caps=0xa0)
    m.add("USB\\VID_147E&PID_2016\\6&2f3e1a9c&0&4", "TouchChip Fingerprint Coprocessor (WBF advanced mode)",
          *usb("147E", "2016", "0002", ("FF", "00", "00")), cls="Biometric", service="tcusb",
          drv=m.oem("oem15.inf", "TouchChip Fingerprint Coprocessor (WBF advanced mode)", "AuthenTec, Inc.",
                    "10-27-2010", "1.0.0.2018", "TcUsb_Inst", "USB\\VID_147E&PID_2016",
                    services="tcusb", cls="Biometric", files=["tcusb.sys"]),
          loc="Port_#0004.Hub_#0003", caps=0x84)
    m.add("USB\\VID_0A5C&PID_217F\\E02A82FA1B3C", "ThinkPad Bluetooth with Enhanced Data Rate II",
          *usb("0A5C", "217F", "0360", ("E0", "01", "01")), cls="Bluetooth", service="BTWUSB",
          drv=m.oem("oem16.inf", "ThinkPad Bluetooth with Enhanced Data Rate II", "Broadcom", "4-29-2009",
                    "6.2.0.9800", "BTW_USB", "USB\\VID_0A5C&PID_217F", services="BTWUSB",
                    cls="Bluetooth", files=["btwusb.sys"]),
          loc="Port_#0004.Hub_#0001", caps=0x84)
    m.add("USB\\VID_046D&PID_C077\\5&2a9f1c3e&0&2", "USB-Eingabegerät",
          *usb("046D", "C077", "7200", ("03", "01", "02")), cls="HIDClass", service="HidUsb",
          mfg="(Standardsystemgeräte)", drv=ms("input.inf", "HID_Inst.NT", "usb\\class_03&subclass_01"),
          loc="Port_#0002.Hub_#0004", caps=0x84, bus_desc="USB Optical Mouse")
    m.add("HID\\VID_046D&PID_C077\\6&1b8e2f4a&0&0000", "HID-konforme Maus",
          ["HID\\VID_046D&PID_C077&REV_7200", "HID\\VID_046D&PID_C077", "HID\\VID_046D&UP:0001_U:0002",
           "HID_DEVICE_SYSTEM_MOUSE", "HID_DEVICE_UP:0001_U:0002", "HID_DEVICE"], cls="Mouse",
          service="mouhid", mfg="Microsoft", drv=ms("msmouse.inf", "HID_Mouse_Inst.NT", "hid_device_system_mouse"),
          caps=0xa0)
    # The WWAN card the user removed, and a Kingston stick with its disk.
    m.add("USB\\VID_0BDB&PID_1900\\6&2f3e1a9c&0&2", "F3507g Mobile Broadband Minicard Composite Device",
          *usb("0BDB", "1900", "0000", ("COMPOSITE", None, None)), cls="USB", service="usbccgp",
          mfg="Ericsson", drv=m.oem("oem17.inf", "F3507g Mobile Broadband Minicard Composite Device",
                                    "Ericsson", "3-4-2009", "7.2.0.2", "F3507g_Composite",
                                    "USB\\VID_0BDB&PID_1900", cls="USB", files=["mbmusb.sys"]),
          loc="Port_#0002.Hub_#0003", caps=0x84, state="past")
    m.add("USB\\VID_0951&PID_1666\\001CC0EC34A2FB70B7A1230A", "USB-Massenspeichergerät",
          *usb("0951", "1666", "0100", ("08", "06", "50")), cls="USB", service="USBSTOR",
          mfg="Kompatibles USB-Speichergerät", drv=ms("usbstor.inf", "USBSTOR_BULK.NT", "usb\\class_08&subclass_06&prot_50"),
          loc="Port_#0001.Hub_#0004", caps=0x84, state="past",
          extra=[("ParentIdPrefix", '"7&3b2e9a1f&0"')])
    m.add("USBSTOR\\Disk&Ven_Kingston&Prod_DataTraveler_3.0&Rev_PMAP\\001CC0EC34A2FB70B7A1230A&0",
          "Laufwerk", ["USBSTOR\\DiskKingstonDataTraveler_3.0PMAP", "USBSTOR\\DiskKingstonDataTraveler_3.0",
                       "USBSTOR\\DiskKingston", "USBSTOR\\KingstonDataTraveler_3.0P", "KingstonDataTraveler_3.0P",
                       "USBSTOR\\GenDisk", "GenDisk"], cls="DiskDrive", service="disk",
          mfg="(Standardlaufwerke)", friendly="Kingston DataTraveler 3.0 USB Device",
          drv=ms("disk.inf", "disk_install.NT", "gendisk"), caps=0x10, state="past")
    # Storage behind iaStor.
    m.add("SCSI\\Disk&Ven_Hitachi&Prod_HTS725032A9A364\\4&2c1a7e3f&0&000000", "Laufwerk",
          ["SCSI\\DiskHitachi_HTS725032A9A364_PC3Z", "SCSI\\DiskHitachi_HTS725032A9A364_", "SCSI\\DiskHitachi",
           "SCSI\\Hitachi_HTS725032A9A364_P", "Hitachi_HTS725032A9A364_P", "GenDisk"],
          ["SCSI\\Disk", "SCSI\\RAW"], cls="DiskDrive", service="disk", mfg="(Standardlaufwerke)",
          friendly="Hitachi HTS725032A9A364", drv=ms("disk.inf", "disk_install.NT", "gendisk"),
          loc="Bus Number 0, Target Id 0, LUN 0", caps=0x10)
    m.add("SCSI\\CdRom&Ven_MATSHITA&Prod_DVD-RAM_UJ892\\4&2c1a7e3f&0&010000", "CD-ROM-Laufwerk",
          ["SCSI\\CdRomMATSHITADVD-RAM_UJ892___1.00", "SCSI\\CdRomMATSHITADVD-RAM_UJ892___",
           "SCSI\\CdRomMATSHITA", "SCSI\\MATSHITADVD-RAM_UJ892___1", "MATSHITADVD-RAM_UJ892___1", "GenCdRom"],
          ["SCSI\\CdRom", "SCSI\\RAW"], cls="CDROM", service="cdrom", mfg="(Standard-CD-ROM-Laufwerke)",
          friendly="MATSHITA DVD-RAM UJ892", drv=ms("cdrom.inf", "cdrom_install", "gencdrom"),
          loc="Bus Number 0, Target Id 1, LUN 0", caps=0x10)
    for n, offset in enumerate(["0000000000100000", "000000000c800000"]):
        m.add(f"STORAGE\\Volume\\{{5b1e3a7c-4e21-11e0-9d2a-806e6f6e6963}}#{offset}", "Volume",
              ["STORAGE\\Volume"], cls="Volume", service="volsnap", mfg="Microsoft",
              drv=ms("volume.inf", "volume_install.NT", "storage\\volume"), caps=0xb0)
    for monitor, inst in [("LEN40B0", "5&1c6e2a3f&0&UID67568640"), ("DELA04A", "5&1c6e2a3f&0&UID16843008")]:
        m.add(f"DISPLAY\\{monitor}\\{inst}", "PnP-Monitor (Standard)", [f"MONITOR\\{monitor}"], ["*PNP09FF"],
              cls="Monitor", service="monitor", mfg="(Standardmonitortypen)",
              drv=ms("monitor.inf", "PnPMonitor.Install", "*pnp09ff"))
    # Root devices of Windows 7 and a few vendor ones.
    for path, desc, hwid, service, inf, section, cls in [
        ("ROOT\\SYSTEM\\0000", "Plug & Play-Softwaregeräte-Enumerator", "root\\swenum", "swenum", "machine.inf", "SWENUM", "System"),
        ("ROOT\\SYSTEM\\0001", "Microsoft-Systemverwaltungs-BIOS-Treiber", "root\\mssmbios", "mssmbios", "machine.inf", "MSSMBIOS_DRV", "System"),
        ("ROOT\\RDPBUS\\0000", "Umleitungsbus für Remotedesktopgeräte", "ROOT\\RDPBUS", "rdpbus", "machine.inf", "RDPBUS", "System"),
        ("ROOT\\UMBUS\\0000", "UMBus-Stammbusenumerator", "root\\umbus", "umbus", "umbus.inf", "UmBusRoot", "System"),
        ("ROOT\\VOLMGR\\0000", "Volume-Manager", "ROOT\\VOLMGR", "volmgr", "machine.inf", "VOLMGR_DRV", "System"),
        ("ROOT\\COMPOSITEBUS\\0000", "Composite Bus Enumerator", "ROOT\\CompositeBus", "CompositeBus", "compositebus.inf", "CompositeBus_Device.NT", "System"),
        ("ROOT\\*ISATAP\\0000", "Microsoft-ISATAP-Adapter", "*ISATAP", "tunnel", "nettun.inf", "TUN.ndi", "Net"),
        ("ROOT\\*ISATAP\\0001", "Microsoft-ISATAP-Adapter", "*ISATAP", "tunnel", "nettun.inf", "TUN.ndi", "Net"),
        ("ROOT\\*TEREDO\\0000", "Teredo Tunneling Pseudo-Interface", "*TEREDO", "tunnel", "nettun.inf", "TEREDO.ndi", "Net"),
        ("ROOT\\MS_L2TPMINIPORT\\0000", "WAN Miniport (L2TP)", "ms_l2tpminiport", "Rasl2tp", "netrast.inf", "Ndi-Mp-L2tp", "Net"),
        ("ROOT\\MS_PPTPMINIPORT\\0000", "WAN Miniport (PPTP)", "ms_pptpminiport", "PptpMiniport", "netrast.inf", "Ndi-Mp-Pptp", "Net"),
        ("ROOT\\MS_PPPOEMINIPORT\\0000", "WAN Miniport (PPPOE)", "ms_pppoeminiport", "RasPppoe", "netrast.inf", "Ndi-Mp-Pppoe", "Net"),
        ("ROOT\\MS_NDISWANIP\\0000", "WAN Miniport (IP)", "ms_ndiswanip", "NdisWan", "netrasa.inf", "Ndi-Mp-Ip", "Net"),
        ("ROOT\\MS_NDISWANIPV6\\0000", "WAN Miniport (IPv6)", "ms_ndiswanipv6", "NdisWan", "netrasa.inf", "Ndi-Mp-Ipv6", "Net"),
        ("ROOT\\MS_SSTPMINIPORT\\0000", "WAN Miniport (SSTP)", "ms_sstpminiport", "RasSstp", "netsstpa.inf", "Ndi-Mp-Sstp", "Net"),
    ]:
        m.add(path, desc, [hwid], cls=cls, service=service, mfg="Microsoft", drv=ms(inf, section, hwid.lower()))
    m.add("ROOT\\NET\\0000", "Cisco Systems VPN Adapter", ["CVirtA"], cls="Net", service="CVirtA",
          drv=m.oem("oem18.inf", "Cisco Systems VPN Adapter", "Cisco Systems", "3-11-2008", "5.0.0.0",
                    "CVirtA.ndi", "CVirtA", mfg="Cisco Systems", services="CVirtA", cls="Net",
                    files=["CVirtA.sys"]))
    # The printer at the home office, and a device without ids.
    m.add("USB\\VID_03F0&PID_3D17\\00CNB7N24051", "USB-Druckerunterstützung",
          *usb("03F0", "3D17", "0100", ("07", "01", "02")), cls="USB", service="usbprint",
          mfg="Microsoft", drv=ms("usbprint.inf", "NO_DRV", "usb\\class_07"),
          loc="Port_#0001.Hub_#0004", caps=0x94, state="past", extra=[("ParentIdPrefix", '"7&9e1a2c4&0"')])
    m.add("USBPRINT\\Hewlett-PackardHP_LaA6F4\\7&9e1a2c4&0&USB001", "HP LaserJet P1005",
          ["USBPRINT\\Hewlett-PackardHP_LaA6F4", "Hewlett-PackardHP_LaA6F4"], cls="Printer",
          drv=m.oem("oem19.inf", "HP LaserJet P1005", "HP", "9-22-2008", "20.169.0.0", "HPLJP1005",
                    "USBPRINT\\Hewlett-PackardHP_LaA6F4", cls="Printer", files=["hpzll4v1.dll"]),
          state="past")
    m.add("ROOT\\UNKNOWN\\0000", "Unbekanntes Gerät", cls="Unknown", state="past",
          comment="left behind by an uninstalled tool: no ids at all")
    for legacy, desc in [("LEGACY_BEEP", "Beep"), ("LEGACY_AFD", "AFD"), ("LEGACY_TCPIP", "TCP/IP Protocol Driver")]:
        m.add(f"ROOT\\{legacy}\\0000", desc, cls="LegacyDriver", state="root",
              extra=[("Service", f'"{legacy[7:].capitalize() if legacy != "LEGACY_TCPIP" else "Tcpip"}"'),
                     ("Legacy", "dword:00000001")])
    # The disabled device: the user switched the modem-less Ethernet port off.
    m.devices[[d.path for d in m.devices].index(
        "PCI\\VEN_8086&DEV_10EA&SUBSYS_215F17AA&REV_06\\3&21436425&0&C8")].state = "disabled"
    return m


def xp(Machine, pci, usb, acpi, hdaudio, cpu_ids, filetime_of):
    # An Intel D945GCNL-class desktop (945G + ICH7), Pentium 4 with
    # Hyper-Threading, Windows XP Professional SP3.
    m = Machine("desktop-winxp-x86", vista=False, inbox=("7-1-2001", "5.1.2600.5512"), x86=True,
                pdo_start=0x40)
    ms = m.ms
    std = "(Standard system devices)"
    m.add("ROOT\\ACPI_HAL\\0000", "ACPI Multiprocessor PC", ["acpiapic_mp"], cls="Computer",
          mfg="(Standard computers)", drv=ms("hal.inf", "ACPIAPIC_MP_HAL", "acpiapic_mp"))
    m.add("ACPI_HAL\\PNP0C08\\0", "Microsoft ACPI-Compliant System", ["ACPI_HAL\\PNP0C08", "*PNP0C08"],
          service="ACPI", mfg="Microsoft", drv=ms("acpi.inf", "ACPI_Inst", "*pnp0c08"))
    cpu = "GenuineIntel_-_x86_Family_15_Model_4"
    for n in range(2):
        m.add(f"ACPI\\{cpu}\\_{n}", "Intel(R) Pentium(R) 4 CPU 3.00GHz", cpu_ids("GenuineIntel", "x86", 15, 4),
              cls="Processor",
              service="intelppm", mfg="Intel", friendly="Intel(R) Pentium(R) 4 CPU 3.00GHz",
              drv=ms("cpu.inf", "IntelPPM_Inst.NT", "acpi\\genuineintel_-_x86_family_15", "Intel Processor"))
    for name, inst, desc, service, cls, inf, section in [
        ("PNP0A03", "0", "PCI bus", "pci", "System", "machine.inf", "PCI_DRV"),
        ("PNP0000", "4&1d3b2c1&0", "Programmable interrupt controller", None, "System", "machine.inf", "NO_DRV"),
        ("PNP0100", "4&1d3b2c1&0", "System timer", None, "System", "machine.inf", "NO_DRV"),
        ("PNP0200", "4&1d3b2c1&0", "Direct memory access controller", None, "System", "machine.inf", "NO_DRV"),
        ("PNP0800", "4&1d3b2c1&0", "System speaker", None, "System", "machine.inf", "NO_DRV"),
        ("PNP0B00", "4&1d3b2c1&0", "System CMOS/real time clock", None, "System", "machine.inf", "NO_DRV"),
        ("PNP0C04", "4&1d3b2c1&0", "Numeric data processor", None, "System", "machine.inf", "NO_DRV"),
        ("PNP0C01", "1", "System board", None, "System", "machine.inf", "NO_DRV"),
        ("PNP0C02", "1", "Motherboard resources", None, "System", "machine.inf", "NO_DRV"),
        ("PNP0C02", "2", "Motherboard resources", None, "System", "machine.inf", "NO_DRV"),
        ("PNP0C0C", "2&daba3ff&0", "ACPI Power Button", None, "System", "machine.inf", "NO_DRV"),
        ("FixedButton", "2&daba3ff&0", "ACPI Fixed Feature Button", None, "System", "machine.inf", "NO_DRV"),
        ("PNP0303", "4&1d3b2c1&0", "Standard 101/102-Key or Microsoft Natural PS/2 Keyboard", "i8042prt", "Keyboard", "keyboard.inf", "STANDARD_Inst"),
        ("PNP0F13", "4&1d3b2c1&0", "PS/2 Compatible Mouse", "i8042prt", "Mouse", "msmouse.inf", "PS2_Inst"),
        ("PNP0501", "1", "Communications Port", "Serial", "Ports", "msports.inf", "ComPort"),
        ("PNP0400", "4&1d3b2c1&0", "ECP Printer Port", "Parport", "Ports", "msports.inf", "LptPort"),
        ("PNP0700", "4&1d3b2c1&0", "Standard floppy disk controller", "fdc", "FDC", "fdc.inf", "fdc_install"),
    ]:
        friendly = {"PNP0501": "Communications Port (COM1)", "PNP0400": "ECP Printer Port (LPT1)"}.get(name)
        mfg = {"Keyboard": "(Standard keyboards)", "Mouse": "Microsoft", "Ports": "(Standard port types)",
               "FDC": "(Standard floppy disk controllers)"}.get(cls, std)
        m.add(f"ACPI\\{name}\\{inst}", desc, acpi(name), cls=cls, service=service, mfg=mfg,
              friendly=friendly, drv=ms(inf, section, "*" + name.lower()),
              state="disabled" if name == "PNP0400" else "ok")
    m.add("FDC\\GENERIC_FLOPPY_DRIVE\\5&2e3b6c1f&0&0", "Floppy disk drive", ["FDC\\GENERIC_FLOPPY_DRIVE"],
          ["GenFloppyDisk"], cls="FloppyDisk", service="flpydisk", mfg="(Standard floppy disk drives)",
          drv=ms("flpydisk.inf", "flpydisk_install", "gen_floppydisk"))
    chipset = lambda desc, dev: m.oem("oem2.inf", desc, "Intel", "4-20-2006", "8.1.1.1010", "Needs_NO_DRV",
                                      f"PCI\\VEN_8086&DEV_{dev}", mfg="Intel")
    rows = [
        ("2770", "02", "060000", "00", "Intel(R) 945G/945GZ/945P/945PL Memory Controller Hub - 2770", None, "System"),
        ("27D0", "01", "060400", "E0", "Intel(R) 82801G (ICH7 Family) PCI Express Root Port - 27D0", "pci", "System"),
        ("27D2", "01", "060400", "E1", "Intel(R) 82801G (ICH7 Family) PCI Express Root Port - 27D2", "pci", "System"),
        ("244E", "E1", "060401", "F0", "Intel(R) 82801 PCI Bridge - 244E", "pci", "System"),
        ("27B8", "01", "060100", "F8", "Intel(R) 82801GB/GR (ICH7 Family) LPC Interface Controller - 27B8", "isapnp", "System"),
        ("27C8", "01", "0C0300", "E8", "Intel(R) 82801G (ICH7 Family) USB Universal Host Controller - 27C8", "usbuhci", "USB"),
        ("27C9", "01", "0C0300", "E9", "Intel(R) 82801G (ICH7 Family) USB Universal Host Controller - 27C9", "usbuhci", "USB"),
        ("27CA", "01", "0C0300", "EA", "Intel(R) 82801G (ICH7 Family) USB Universal Host Controller - 27CA", "usbuhci", "USB"),
        ("27CB", "01", "0C0300", "EB", "Intel(R) 82801G (ICH7 Family) USB Universal Host Controller - 27CB", "usbuhci", "USB"),
        ("27CC", "01", "0C0320", "EF", "Intel(R) 82801G (ICH7 Family) USB2 Enhanced Host Controller - 27CC", "usbehci", "USB"),
        ("27C0", "01", "01018F", "FA", "Intel(R) 82801GB/GR/GH (ICH7 Family) Serial ATA Storage Controller - 27C0", "pciide", "HDC"),
        ("27DF", "01", "01018A", "F9", "Intel(R) 82801G (ICH7 Family) Ultra ATA Storage Controllers - 27DF", "pciide", "HDC"),
    ]
    for dev, rev, cc, fn, desc, service, cls in rows:
        hw, compat = pci("8086", dev, "5002458C", rev, cc)
        m.add(f"PCI\\VEN_8086&DEV_{dev}&SUBSYS_5002458C&REV_{rev}\\3&61aaa01&0&{fn}", desc, hw, compat,
              cls=cls, service=service, mfg="Intel",
              drv=m.oem("oem2.inf", desc, "Intel", "4-20-2006", "8.1.1.1010",
                        {"USB": "Needs_USB", "HDC": "Needs_PCIIDE"}.get(cls, "Needs_NO_DRV"),
                        f"PCI\\VEN_8086&DEV_{dev}", mfg="Intel", cls=cls),
              loc=f"PCI bus 0, device {int(fn, 16) >> 3}, function {int(fn, 16) & 7}")
    # The SMBus controller Windows XP has no driver for: the failed device.
    hw, compat = pci("8086", "27DA", "5002458C", "01", "0C0500")
    m.add("PCI\\VEN_8086&DEV_27DA&SUBSYS_5002458C&REV_01\\3&61aaa01&0&FB", "SM Bus Controller", hw, compat,
          cls="Unknown", loc="PCI bus 0, device 31, function 3", state="failed")
    hw, compat = pci("8086", "27D8", "5002458C", "01", "040300")
    m.add("PCI\\VEN_8086&DEV_27D8&SUBSYS_5002458C&REV_01\\3&61aaa01&0&D8",
          "Microsoft UAA Bus Driver for High Definition Audio", hw, compat, service="HDAudBus",
          mfg="Microsoft",
          # KB888111 brought the HD audio bus driver to XP, with its own version.
          drv=m.driver("hdaudbus.inf", "HDAudio_Device", "pci\\cc_0403", "Microsoft", "10-4-2005",
                       "5.10.1.5013"),
          loc="PCI bus 0, device 27, function 0")
    hw, compat = pci("8086", "2772", "5002458C", "02", "030000")
    m.add("PCI\\VEN_8086&DEV_2772&SUBSYS_5002458C&REV_02\\3&61aaa01&0&10",
          "Intel(R) 82945G Express Chipset Family", hw, compat, cls="Display", service="ialm",
          drv=m.oem("oem4.inf", "Intel(R) 82945G Express Chipset Family", "Intel Corporation", "2-6-2008",
                    "6.14.10.4926", "i945GM0", "PCI\\VEN_8086&DEV_2772", mfg="Intel Corporation",
                    services="ialm", cls="Display", files=["ialmnt5.sys", "ialmdd5.dll"]),
          loc="PCI bus 0, device 2, function 0", state="restart")
    hw, compat = pci("10EC", "8139", "813910EC", "10", "020000")
    m.add("PCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10\\4&3b1b1c5a&0&08F0",
          "Realtek RTL8139 Family PCI Fast Ethernet NIC", hw, compat, cls="Net", service="RTL8023xp",
          drv=m.oem("oem5.inf", "Realtek RTL8139 Family PCI Fast Ethernet NIC", "Realtek Semiconductor Corp.",
                    "3-2-2008", "5.726.0302.2008", "RTL8139", "PCI\\VEN_10EC&DEV_8139",
                    mfg="Realtek", services="RTL8023xp", cls="Net", files=["Rtenicxp.sys"]),
          loc="PCI bus 5, device 1, function 0")
    a, b = hdaudio("10EC", "0880", "10EC0880", "1000")
    m.add("HDAUDIO\\FUNC_01&VEN_10EC&DEV_0880&SUBSYS_10EC0880&REV_1000\\4&2e1d5b7a&0&0001",
          "Realtek High Definition Audio", a, b, cls="MEDIA", service="ALCXWDM",
          drv=m.oem("oem6.inf", "Realtek High Definition Audio", "Realtek Semiconductor Corp.", "11-18-2008",
                    "5.10.0.5735", "RTLHDA", "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0880", mfg="Realtek",
                    services="ALCXWDM", cls="MEDIA", files=["ALCXWDM.SYS"]))
    # IDE channels, disk, DVD writer, volumes.
    for n, desc in enumerate(["Primary IDE Channel", "Secondary IDE Channel"]):
        m.add(f"PCIIDE\\IDEChannel\\4&1a2b3c4d&0&{n}", desc, ["Internal_IDE_Channel"], ["Internal_IDE_Channel"],
              cls="HDC", service="atapi", mfg="(Standard IDE ATA/ATAPI controllers)",
              drv=ms("mshdc.inf", "atapi_Inst_primary" if n == 0 else "atapi_Inst_secondary", "internal_ide_channel"))
    m.add("IDE\\DiskWDC_WD800JD-75MSA3___________________10.01E04\\5&2c3b1a7e&0&0.0.0", "WDC WD800JD-75MSA3",
          ["IDE\\DiskWDC_WD800JD-75MSA3___________________10.01E04", "IDE\\WDC_WD800JD-75MSA3___________________10.01E04",
           "IDE\\DiskWDC_WD800JD-75MSA3___________________", "WDC_WD800JD-75MSA3___________________10.01E04", "GenDisk"],
          cls="DiskDrive", service="disk", mfg="(Standard disk drives)", friendly="WDC WD800JD-75MSA3",
          drv=ms("disk.inf", "disk_install", "gendisk"), loc="0", caps=0x10)
    m.add("IDE\\CdRomHL-DT-ST_DVD-RAM_GSA-H55N_____________1.00____\\5&2c3b1a7e&0&1.0.0",
          "HL-DT-ST DVD-RAM GSA-H55N",
          ["IDE\\CdRomHL-DT-ST_DVD-RAM_GSA-H55N_____________1.00____", "HL-DT-ST_DVD-RAM_GSA-H55N_____________1.00____",
           "IDE\\CdRomHL-DT-ST_DVD-RAM_GSA-H55N_____________", "GenCdRom"],
          cls="CDROM", service="Cdrom", mfg="(Standard CD-ROM drives)", friendly="HL-DT-ST DVD-RAM GSA-H55N",
          drv=ms("cdrom.inf", "cdrom_install", "gencdrom"), loc="1", caps=0x10)
    for offset in ["7E00", "12A0C00000"]:
        m.add(f"STORAGE\\Volume\\1&30a96598&0&Signature4A3C3B2BOffset{offset}Length12A0BF8200", "Generic volume",
              ["STORAGE\\Volume"], cls="Volume", mfg="Microsoft",
              drv=ms("volume.inf", "volume_install", "storage\\volume"), caps=0xb0)
    # USB.
    for n, dev in enumerate(["27C8", "27C9", "27CA", "27CB"]):
        m.add(f"USB\\ROOT_HUB\\4&{0x1f7c3a2 + n:x}&0", "USB Root Hub",
              [f"USB\\ROOT_HUB&VID8086&PID{dev}&REV0001", f"USB\\ROOT_HUB&VID8086&PID{dev}", "USB\\ROOT_HUB"],
              cls="USB", service="usbhub", mfg="(Standard USB Host Controller)",
              drv=ms("usbport.inf", "ROOTHUB.Dev", "usb\\root_hub"))
    m.add("USB\\ROOT_HUB20\\4&2d8f1e3b&0", "USB Root Hub",
          ["USB\\ROOT_HUB20&VID8086&PID27CC&REV0001", "USB\\ROOT_HUB20&VID8086&PID27CC", "USB\\ROOT_HUB20"],
          cls="USB", service="usbhub", mfg="(Standard USB Host Controller)",
          drv=ms("usbport.inf", "ROOTHUB.Dev", "usb\\root_hub20"))
    m.add("USB\\VID_046D&PID_C016\\5&1b3c2d4e&0&1", "USB Human Interface Device",
          *usb("046D", "C016", "0340", ("03", "01", "02")), cls="HIDClass", service="HidUsb",
          mfg="(Standard system devices)", drv=ms("input.inf", "HID_Inst.NT", "usb\\class_03&subclass_01"),
          loc="USB Optical Mouse", caps=0x84)
    m.add("HID\\VID_046D&PID_C016\\6&2a1b3c4d&0&0000", "HID-compliant mouse",
          ["HID\\VID_046D&PID_C016&REV_0340", "HID\\VID_046D&PID_C016", "HID_DEVICE_SYSTEM_MOUSE",
           "HID_DEVICE_UP:0001_U:0002", "HID_DEVICE"], cls="Mouse", service="mouhid", mfg="Microsoft",
          drv=ms("msmouse.inf", "HID_Mouse_Inst.NT", "hid_device_system_mouse"), caps=0xa0)
    m.add("USB\\VID_03F0&PID_2B17\\00CNBW2K3WZ6", "USB Printing Support",
          *usb("03F0", "2B17", "0100", ("07", "01", "02")), cls="USB", service="usbprint",
          mfg="Microsoft", drv=ms("usbprint.inf", "NO_DRV", "usb\\class_07"), loc="HP LaserJet 1020",
          caps=0x94, extra=[("ParentIdPrefix", '"6&1f3e2a9b&0"')])
    m.add("USBPRINT\\Hewlett-PackardHP_LaA3B4\\6&1f3e2a9b&0&USB001", "HP LaserJet 1020",
          ["USBPRINT\\Hewlett-PackardHP_LaA3B4", "Hewlett-PackardHP_LaA3B4"], cls="Printer",
          drv=m.oem("oem7.inf", "HP LaserJet 1020", "HP", "2-17-2005", "5.1.2600.0", "HPLJ1020",
                    "USBPRINT\\Hewlett-PackardHP_LaA3B4", cls="Printer", files=["hpz3r4lj.dll"]))
    m.add("USB\\VID_0930&PID_6545\\001D92DC4BE8C9B1B3A2001F", "USB Mass Storage Device",
          *usb("0930", "6545", "0100", ("08", "06", "50")), cls="USB", service="USBSTOR",
          mfg="Compatible USB storage device", drv=ms("usbstor.inf", "USBSTOR_BULK", "usb\\class_08&subclass_06&prot_50"),
          caps=0x84, state="past", extra=[("ParentIdPrefix", '"7&2d4c1b3e&0"')])
    m.add("USBSTOR\\Disk&Ven_TOSHIBA&Prod_TransMemory&Rev_PMAP\\001D92DC4BE8C9B1B3A2001F&0", "Disk drive",
          ["USBSTOR\\DiskTOSHIBA_TransMemory_____PMAP", "USBSTOR\\DiskTOSHIBA_TransMemory_____",
           "USBSTOR\\DiskTOSHIBA_", "USBSTOR\\TOSHIBA_TransMemory_____P", "TOSHIBA_TransMemory_____P",
           "USBSTOR\\GenDisk", "GenDisk"], cls="DiskDrive", service="disk", mfg="(Standard disk drives)",
          friendly="TOSHIBA TransMemory USB Device", drv=ms("disk.inf", "disk_install", "gendisk"),
          caps=0x10, state="past")
    m.add("DISPLAY\\DEL4014\\5&2a1f3e4c&0&80861100&00&02", "Plug and Play Monitor", ["Monitor\\DEL4014"],
          ["*PNP09FF"], cls="Monitor", service="monitor", mfg="(Standard monitor types)",
          drv=ms("monitor.inf", "PnPMonitor.Install", "*pnp09ff"))
    # Root and software devices of Windows XP.
    for path, desc, hwid, service, inf, section, cls in [
        ("ROOT\\DMIO\\0000", "Logical Disk Manager", "ROOT\\DMIO", "dmio", "machine.inf", "DMIO_DRV", "System"),
        ("ROOT\\FTDISK\\0000", "Volume Manager", "ROOT\\FTDISK", "ftdisk", "machine.inf", "FTDISK_DRV", "System"),
        ("ROOT\\VOLSNAP\\0000", "Generic volume shadow copy", "ROOT\\VOLSNAP", "VolSnap", "machine.inf", "VOLSNAP_DRV", "System"),
        ("ROOT\\RDPDR\\0000", "Terminal Server Device Redirector", "ROOT\\RDPDR", "rdpdr", "machine.inf", "RDPDR", "System"),
        ("ROOT\\RDP_KBD\\0000", "Terminal Server Keyboard Driver", "ROOT\\RDP_KBD", "TermDD", "keyboard.inf", "RDP_KBD", "Keyboard"),
        ("ROOT\\RDP_MOU\\0000", "Terminal Server Mouse Driver", "ROOT\\RDP_MOU", "TermDD", "msmouse.inf", "RDP_MOU", "Mouse"),
        ("ROOT\\SYSTEM\\0000", "Plug and Play Software Device Enumerator", "root\\swenum", "swenum", "machine.inf", "SWENUM", "System"),
        ("ROOT\\SYSTEM\\0001", "Microsoft System Management BIOS Driver", "root\\mssmbios", "mssmbios", "machine.inf", "MSSMBIOS_DRV", "System"),
        ("ROOT\\SYSTEM\\0002", "Microsoft Kernel System Audio Device", "SW\\{a7c7a5b0-5af3-11d1-9ced-00a0024bbc60}", "sysaudio", "wdmaudio.inf", "WDM_SYSAUDIO", "MEDIA"),
        ("ROOT\\SYSTEM\\0003", "Microsoft WINMM WDM Audio Compatibility Driver", "SW\\{cd171de3-69e5-11d2-b56d-0000f8754380}", "wdmaud", "wdmaudio.inf", "WDM_WDMAUD", "MEDIA"),
        ("ROOT\\SYSTEM\\0004", "Microsoft Kernel Wave Audio Mixer", "SW\\{b7eafdc0-a680-11d0-96d8-00aa0051e51d}", "kmixer", "wdmaudio.inf", "WDM_KMIXER", "MEDIA"),
        ("ROOT\\MEDIA\\MS_MMACM", "Audio Codecs", "MS_MMACM", None, "wave.inf", "MS_MMACM", "MEDIA"),
        ("ROOT\\MEDIA\\MS_MMDRV", "Legacy Audio Drivers", "MS_MMDRV", None, "wave.inf", "MS_MMDRV", "MEDIA"),
        ("ROOT\\MEDIA\\MS_MMMCI", "Media Control Devices", "MS_MMMCI", None, "wave.inf", "MS_MMMCI", "MEDIA"),
        ("ROOT\\MEDIA\\MS_MMVCD", "Legacy Video Capture Devices", "MS_MMVCD", None, "wave.inf", "MS_MMVCD", "MEDIA"),
        ("ROOT\\MEDIA\\MS_MMVID", "Video Codecs", "MS_MMVID", None, "wave.inf", "MS_MMVID", "MEDIA"),
        ("ROOT\\MS_L2TPMINIPORT\\0000", "WAN Miniport (L2TP)", "ms_l2tpminiport", "Rasl2tp", "netrasa.inf", "Ndi-Mp-L2tp", "Net"),
        ("ROOT\\MS_PPTPMINIPORT\\0000", "WAN Miniport (PPTP)", "ms_pptpminiport", "PptpMiniport", "netrasa.inf", "Ndi-Mp-Pptp", "Net"),
        ("ROOT\\MS_PPPOEMINIPORT\\0000", "WAN Miniport (PPPOE)", "ms_pppoeminiport", "RasPppoe", "netrasa.inf", "Ndi-Mp-Pppoe", "Net"),
        ("ROOT\\MS_NDISWANIP\\0000", "WAN Miniport (IP)", "ms_ndiswanip", "NdisWan", "netrasa.inf", "Ndi-Mp-Ip", "Net"),
        ("ROOT\\MS_PTIMINIPORT\\0000", "Direct Parallel", "ms_ptiminiport", "Raspti", "netrasa.inf", "Ndi-Mp-Pti", "Net"),
    ]:
        m.add(path, desc, [hwid], cls=cls, service=service, mfg="Microsoft", drv=ms(inf, section, hwid.lower()))
    m.add("ROOT\\UNKNOWN\\0000", "Unknown device", cls="Unknown", state="past",
          comment="left behind by an uninstalled CD burning tool: no ids at all")
    for legacy, service in [("LEGACY_BEEP", "Beep"), ("LEGACY_NULL", "Null"), ("LEGACY_AFD", "AFD"),
                            ("LEGACY_TCPIP", "Tcpip"), ("LEGACY_IPSEC", "IPSec")]:
        m.add(f"ROOT\\{legacy}\\0000", service, cls="LegacyDriver", state="root",
              extra=[("Service", f'"{service}"'), ("Legacy", "dword:00000001")])
    return m


def MACHINES(*helpers):
    return [desktop(*helpers), laptop(*helpers), xp(*helpers)]
