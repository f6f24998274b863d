/* ResourceIds.h - numbers of the resources embedded in the server module.
 *
 * Shared by the resource script and the server's code. */
#ifndef VARIANT_COLLECTION_RESOURCEIDS_H
#define VARIANT_COLLECTION_RESOURCEIDS_H

/* String table: the module's name. */
#define IDS_PROJNAME 100

/* Registry scripts (resource type "REGISTRY"). Self-registration runs the
 * scripts of the creatable classes, the collection's and XJson's; the other
 * two are carried for tools. */
#define IDR_XCOLLECTION 101
#define IDR_XENUMVARIANT 102
#define IDR_XITEM 103
#define IDR_XJSON 104

/* The type library (resource type "TYPELIB"). */
#define IDR_TYPELIB 1

#endif /* VARIANT_COLLECTION_RESOURCEIDS_H */
