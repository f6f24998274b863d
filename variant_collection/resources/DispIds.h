/* DispIds.h - member numbers (DISPIDs) of the server's dual interfaces.
 *
 * Shared by the IDL (widl runs the C preprocessor on it) and the server's
 * code and tests; every DISPID is written here only. A new member takes a
 * new number; a number once given is never reused for another member. */
#ifndef VARIANT_COLLECTION_DISPIDS_H
#define VARIANT_COLLECTION_DISPIDS_H

/* IXCollection */
#define DISPID_XCOLLECTION_ITEM DISPID_VALUE
#define DISPID_XCOLLECTION_ADD 1
#define DISPID_XCOLLECTION_REMOVE 2
#define DISPID_XCOLLECTION_COUNT 3
#define DISPID_XCOLLECTION_NEWENUM DISPID_NEWENUM

/* IXCollection2, which adds to IXCollection */
#define DISPID_XCOLLECTION_EXISTS 4
#define DISPID_XCOLLECTION_KEYS 5
#define DISPID_XCOLLECTION_ITEMS 6
#define DISPID_XCOLLECTION_REMOVEALL 7

/* IXItem */
#define DISPID_XITEM_VALUE DISPID_VALUE
#define DISPID_XITEM_KEY 0x60020001

/* IXJson */
#define DISPID_XJSON_PARSE 1
#define DISPID_XJSON_STRINGIFY 2
#define DISPID_XJSON_READFILE 3
#define DISPID_XJSON_WRITEFILE 4

#endif /* VARIANT_COLLECTION_DISPIDS_H */
