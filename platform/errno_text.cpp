#include "platform/errno_text.h"

#include <cerrno>

namespace quinterra {

std::string ErrnoText(int error) {
  switch (error) {
    case EPERM: return "Operación no permitida";
    case ENOENT: return "No existe el archivo o el directorio";
    case EIO: return "Error de entrada/salida";
    case ENXIO: return "No existe el dispositivo o la dirección";
    case EBADF: return "Descriptor de archivo no válido";
    case EAGAIN: return "Recurso no disponible temporalmente";
    case ENOMEM: return "No hay memoria suficiente";
    case EACCES: return "Permiso denegado";
    case EBUSY: return "Dispositivo o recurso ocupado";
    case EEXIST: return "El archivo ya existe";
    case EXDEV: return "Enlace entre dispositivos no válido";
    case ENODEV: return "No existe el dispositivo";
    case ENOTDIR: return "No es un directorio";
    case EISDIR: return "Es un directorio";
    case EINVAL: return "Argumento no válido";
    case ENFILE: return "Demasiados archivos abiertos en el sistema";
    case EMFILE: return "Demasiados archivos abiertos";
    case ENOTTY: return "El dispositivo no admite esta operación";
    case ETXTBSY: return "Archivo de texto ocupado";
    case EFBIG: return "Archivo demasiado grande";
    case ENOSPC: return "No queda espacio en el dispositivo";
    case EROFS: return "Sistema de archivos de solo lectura";
    case EMLINK: return "Demasiados enlaces";
    case ENAMETOOLONG: return "Nombre de archivo demasiado largo";
    case ELOOP: return "Demasiados niveles de enlaces simbólicos";
    case ETIMEDOUT: return "Tiempo de espera agotado";
#ifdef EDQUOT  // not on every system
    case EDQUOT: return "Cuota de disco excedida";
#endif
#ifdef ESTALE
    case ESTALE: return "Referencia a un archivo de red caducada";
#endif
    case EOPNOTSUPP: return "Operación no admitida";
    default: return "Error del sistema número " + std::to_string(error);
  }
}

}  // namespace quinterra
