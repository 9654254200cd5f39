// XmlTagId: the element names shared by the property RPCs and the marshalling of
// resources in requests and responses.
#ifndef XMLPROTO_RPC_XML_TAG_ID_H
#define XMLPROTO_RPC_XML_TAG_ID_H

struct XmlTagId {
    static constexpr const char* RESOURCE = "resource";
    static constexpr const char* RESOURCE_TYPE = "resource-type";
    static constexpr const char* RESOURCE_LOCATION = "resource-location";
    static constexpr const char* RESOURCE_INDEX = "resource-index";
    static constexpr const char* RESOURCE_EXCEPTION = "resource-exception";
    static constexpr const char* RESOURCE_STATUS_CODE = "resource-status-code";
    static constexpr const char* CONTEXT_RESOURCE = "context-resource";
    static constexpr const char* PROPERTY = "prop";
    static constexpr const char* PROPERTY_NAME = "prop-name";
    static constexpr const char* PROPERTY_TYPE = "prop-type";
    static constexpr const char* PROPERTY_VALUE = "prop-value";
    static constexpr const char* PROPERTY_EXCEPTION = "prop-exception";
    static constexpr const char* PROPERTY_STATUS_MESSAGES = "prop-status-messages";
    static constexpr const char* PROPERTY_NOT_SUPPORTED = "prop-not-supported";
    static constexpr const char* PROPERTY_IS_NULL = "prop-is-null";
    static constexpr const char* BINDING_NAME = "binding-name";
    static constexpr const char* FLAG = "flag";
    static constexpr const char* FLAG_NAME = "name";
};

#endif
