// Runs in the page's own world, before the page's scripts: the tab's volume
// for its media elements (those added later too, and those never put in the
// document) and a gain on everything Web Audio sends to the speakers.
// fondo.js sets it through window[Symbol.for("sonvia.volumen")].
"use strict";

(() => {
  const CLAVE = Symbol.for("sonvia.volumen");
  if (typeof window[CLAVE] === "function") {
    return;
  }

  let volumen = 1;
  const ganancias = new Set(); // WeakRefs of the gain nodes in front of each destination
  const gananciaDe = new WeakMap(); // AudioContext → its gain node

  function aplicarMedio(elemento) {
    try {
      if (elemento.volume !== volumen) {
        elemento.volume = volumen;
      }
    } catch {
      // An element that refuses the value keeps its own.
    }
  }

  function aplicarEnArbol(raiz) {
    if (raiz instanceof HTMLMediaElement) {
      aplicarMedio(raiz);
    }
    if (raiz.querySelectorAll) {
      raiz.querySelectorAll("audio, video").forEach(aplicarMedio);
    }
  }

  // Elements that start playing, in the document or not.
  const reproducir = HTMLMediaElement.prototype.play;
  HTMLMediaElement.prototype.play = function play(...argumentos) {
    if (volumen !== 1) {
      aplicarMedio(this);
    }
    return reproducir.apply(this, argumentos);
  };

  // Elements added to the document later.
  new MutationObserver((cambios) => {
    if (volumen === 1) {
      return;
    }
    for (const cambio of cambios) {
      cambio.addedNodes.forEach(aplicarEnArbol);
    }
  }).observe(document, { childList: true, subtree: true });

  // Web Audio: every context of the page plays through a gain of ours.
  const destino = Object.getOwnPropertyDescriptor(BaseAudioContext.prototype, "destination");
  if (destino && typeof destino.get === "function") {
    Object.defineProperty(BaseAudioContext.prototype, "destination", {
      configurable: true,
      enumerable: destino.enumerable,
      get() {
        const real = destino.get.call(this);
        if (!(this instanceof AudioContext)) {
          return real; // rendering offline never reaches the speakers
        }
        let ganancia = gananciaDe.get(this);
        if (!ganancia) {
          try {
            ganancia = new GainNode(this, { gain: volumen });
            ganancia.connect(real);
          } catch {
            return real; // a closed context takes no new nodes
          }
          gananciaDe.set(this, ganancia);
          ganancias.add(new WeakRef(ganancia));
        }
        return ganancia;
      },
    });
  }

  Object.defineProperty(window, CLAVE, {
    value: (valor) => {
      if (typeof valor !== "number" || !Number.isFinite(valor)) {
        return;
      }
      volumen = Math.min(1, Math.max(0, valor));
      aplicarEnArbol(document);
      for (const referencia of ganancias) {
        const ganancia = referencia.deref();
        if (ganancia) {
          ganancia.gain.value = volumen;
        } else {
          ganancias.delete(referencia);
        }
      }
    },
  });
})();
