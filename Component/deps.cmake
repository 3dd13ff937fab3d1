# The component's registry script and type library travel inside the module as resources,
# found at run time by type and id like the sound data.
quillgate_add_resource(quillgate_core REGISTRY 101 ${CMAKE_SOURCE_DIR}/Component/Captcha.rgs)
quillgate_add_resource(quillgate_core TYPELIB 1 ${CMAKE_SOURCE_DIR}/Component/Quillgate.qtl)
