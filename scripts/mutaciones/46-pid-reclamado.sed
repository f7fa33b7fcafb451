# archivo: src/plataforma/pipewire/espejo.cpp
# pruebas: integracion:PidConfiable.*:Diagnostico.LosProcesosSeAgrupanYLoQueDicenOtrosProgramasNoRompeNiEnganaLosListados
# The pid a client claims wins over the one the server verified.
/^std::optional<std::int32_t> pidConfiable(/,/^}/s/^    return verificado;/    return reclamado ? reclamado : verificado;/
