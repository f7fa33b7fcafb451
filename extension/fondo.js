// Sonvia's extension: reports the tabs that play sound to Sonvia through its
// native-messaging host, and applies the volume and mute orders Sonvia sends
// back.
//
// Messages to Sonvia: {"tipo": "pestanas", "pestanas": [tab, ...]}, where a
// tab is {id, titulo, sitio, icono, sonando, silenciada, volumen}. The list
// holds the audible tabs and the tabs whose volume or mute Sonvia changed
// (a tab turned down to 0 stops being audible, and must stay in the list).
// Messages from Sonvia: {"tipo": "pedir"}, {"tipo": "silencio", "id", "valor"}
// and {"tipo": "volumen", "id", "valor"}.
"use strict";

const HOST = "ex.velmaro.sonvia";
const ESPERA_MINIMA = 1000;
const ESPERA_MAXIMA = 60000;
// A connection that lasted this long was a good one: the back-off starts over.
const CONEXION_ESTABLE = 10000;
const DEMORA_INFORME = 100;
const CLAVE_ESTADO = "sonvia";

let puerto = null;
let espera = ESPERA_MINIMA;
let reintento = null;
let informePendiente = null;

// Survives the service worker's restarts: tab id → volume (0..1), and the
// tabs Sonvia changed.
const estado = { volumenes: {}, tocadas: [] };

const listo = chrome.storage.session
  .get(CLAVE_ESTADO)
  .then((guardado) => {
    const previo = guardado[CLAVE_ESTADO];
    if (previo && typeof previo === "object") {
      estado.volumenes = previo.volumenes ?? {};
      estado.tocadas = previo.tocadas ?? [];
    }
  })
  .catch(() => {});

function guardar() {
  chrome.storage.session.set({ [CLAVE_ESTADO]: estado }).catch(() => {});
}

function tocar(id) {
  if (!estado.tocadas.includes(id)) {
    estado.tocadas.push(id);
  }
}

function olvidar(id) {
  estado.tocadas = estado.tocadas.filter((t) => t !== id);
  delete estado.volumenes[id];
}

function volumenDe(id) {
  const v = estado.volumenes[id];
  return typeof v === "number" ? v : 1;
}

function sitio(direccion) {
  try {
    return new URL(direccion).hostname;
  } catch {
    return "";
  }
}

function relevante(pestana) {
  return pestana.audible === true || estado.tocadas.includes(pestana.id);
}

async function pestanas() {
  const todas = await chrome.tabs.query({});
  return todas
    .filter((p) => typeof p.id === "number" && p.id >= 0 && relevante(p))
    .map((p) => ({
      id: p.id,
      titulo: p.title ?? "",
      sitio: sitio(p.url ?? p.pendingUrl ?? ""),
      icono: p.favIconUrl ? p.favIconUrl : null,
      sonando: p.audible === true,
      silenciada: p.mutedInfo?.muted === true,
      volumen: volumenDe(p.id),
    }));
}

async function informar() {
  clearTimeout(informePendiente);
  informePendiente = null;
  await listo;
  const lista = await pestanas();
  if (puerto) {
    try {
      puerto.postMessage({ tipo: "pestanas", pestanas: lista });
    } catch {
      // The port went away; its disconnection schedules the reconnection.
    }
  }
}

function informarPronto() {
  if (informePendiente === null) {
    informePendiente = setTimeout(() => {
      informar().catch(() => {});
    }, DEMORA_INFORME);
  }
}

// Sets the volume of every media element and of Web Audio output in the tab,
// through the page-world script volumen.js.
function aplicarVolumen(id, valor) {
  chrome.scripting
    .executeScript({
      target: { tabId: id, allFrames: true },
      world: "MAIN",
      func: (v) => {
        const fijar = window[Symbol.for("sonvia.volumen")];
        if (typeof fijar === "function") {
          fijar(v);
        }
      },
      args: [valor],
    })
    .catch(() => {});
}

async function recibir(mensaje) {
  if (!mensaje || typeof mensaje !== "object") {
    return;
  }
  await listo;
  const { tipo, id, valor } = mensaje;
  if (tipo === "pedir") {
    await informar();
    return;
  }
  if (!Number.isInteger(id)) {
    return;
  }
  if (tipo === "silencio" && typeof valor === "boolean") {
    tocar(id);
    guardar();
    chrome.tabs.update(id, { muted: valor }).catch(() => {});
    informarPronto();
  } else if (tipo === "volumen" && typeof valor === "number" && Number.isFinite(valor)) {
    const v = Math.min(1, Math.max(0, valor));
    estado.volumenes[id] = v;
    tocar(id);
    guardar();
    aplicarVolumen(id, v);
    informarPronto();
  }
}

function programarReintento() {
  if (reintento !== null) {
    return;
  }
  reintento = setTimeout(() => {
    reintento = null;
    conectar();
  }, espera);
  espera = Math.min(espera * 2, ESPERA_MAXIMA);
}

function conectar() {
  if (puerto) {
    return;
  }
  clearTimeout(reintento);
  reintento = null;
  const desde = Date.now();
  try {
    puerto = chrome.runtime.connectNative(HOST);
  } catch {
    puerto = null;
    programarReintento();
    return;
  }
  puerto.onMessage.addListener((mensaje) => {
    recibir(mensaje).catch(() => {});
  });
  puerto.onDisconnect.addListener(() => {
    void chrome.runtime.lastError;
    puerto = null;
    if (Date.now() - desde >= CONEXION_ESTABLE) {
      espera = ESPERA_MINIMA;
    }
    programarReintento();
  });
  informar().catch(() => {});
}

chrome.tabs.onUpdated.addListener((id, cambio, pestana) => {
  if ("audible" in cambio || "mutedInfo" in cambio) {
    informarPronto();
  } else if (relevante(pestana)) {
    if ("title" in cambio || "favIconUrl" in cambio || "url" in cambio) {
      informarPronto();
    }
    // A new page in a tab Sonvia turned down starts at full volume.
    if ("status" in cambio && volumenDe(id) !== 1) {
      aplicarVolumen(id, volumenDe(id));
    }
  }
});

chrome.tabs.onRemoved.addListener((id) => {
  listo.then(() => {
    olvidar(id);
    guardar();
    informarPronto();
  });
});

chrome.tabs.onReplaced.addListener((nueva, vieja) => {
  listo.then(() => {
    if (estado.tocadas.includes(vieja)) {
      tocar(nueva);
      estado.volumenes[nueva] = volumenDe(vieja);
    }
    olvidar(vieja);
    guardar();
    informarPronto();
  });
});

// A last resort after the service worker slept without a connection.
chrome.alarms.create("sonvia-reconectar", { periodInMinutes: 1 });
chrome.alarms.onAlarm.addListener(() => conectar());

conectar();
