# libpq for Windows is a static archive (scripts/windows-deps.sh): what it
# needs (its port code, OpenSSL, the system's sockets, security and
# certificate libraries) is linked after it, as libpq.link beside it names.
get_filename_component(_kavro_pq_dir "${PostgreSQL_LIBRARY}" DIRECTORY)
if(EXISTS "${_kavro_pq_dir}/libpq.link")
  file(STRINGS "${_kavro_pq_dir}/libpq.link" _kavro_pq_link LIMIT_COUNT 1)
  separate_arguments(_kavro_pq_link UNIX_COMMAND "${_kavro_pq_link}")
  target_link_directories(kavro_records PUBLIC "${_kavro_pq_dir}")
  target_link_libraries(kavro_records PRIVATE ${_kavro_pq_link})
endif()
target_link_libraries(kavro_records PRIVATE shell32 ws2_32)  # the application-data folder; sockets
