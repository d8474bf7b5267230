/*
 * hwbridge.sys: the sample media's kernel-mode driver. It only creates the
 * device \Device\hwbridge with the link \DosDevices\hwbridge, so that a setup
 * can check that the service started, and completes create and close
 * requests. Every other request is refused: it gives no access to memory or
 * ports.
 */
#include <ddk/wdm.h>

#define DEVICE_NAME L"\\Device\\hwbridge"
#define LINK_NAME L"\\DosDevices\\hwbridge"

static NTSTATUS NTAPI CompleteOpenClose(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

static NTSTATUS NTAPI RefuseRequest(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

static void NTAPI Unload(PDRIVER_OBJECT driver)
{
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, LINK_NAME);
    IoDeleteSymbolicLink(&link);
    if (driver->DeviceObject)
        IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    UNICODE_STRING name;
    UNICODE_STRING link;
    PDEVICE_OBJECT device = 0;
    NTSTATUS status;
    int i;

    (void)registryPath;
    RtlInitUnicodeString(&name, DEVICE_NAME);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    RtlInitUnicodeString(&link, LINK_NAME);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    for (i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; i++)
        driver->MajorFunction[i] = RefuseRequest;
    driver->MajorFunction[IRP_MJ_CREATE] = CompleteOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = CompleteOpenClose;
#ifndef HWBRIDGE_NO_UNLOAD
    driver->DriverUnload = Unload;
#else
    (void)Unload;  /* a driver without an unload routine cannot be stopped (a test stand-in) */
#endif
    return STATUS_SUCCESS;
}
